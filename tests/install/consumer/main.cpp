// Encodes and decodes a small picture through the installed package.
#include <cstdio>
#include <xqob/xqob.hpp>

int main() {
    xqob::Image image;
    image.width = 24;
    image.height = 10;
    image.channels = 3;
    image.pixels.assign(24 * 10 * 3, 100);
    std::vector<uint8_t> qob;
    if (xqob::Error error = xqob::encode(image, {}, &qob))
        return std::puts(error.message.c_str()), 1;
    xqob::Image decoded;
    if (xqob::Error error = xqob::decodeMemory(qob.data(), qob.size(), &decoded)) return 1;
    std::printf("xqob %s: %dx%d\n", xqob::versionString(), decoded.width, decoded.height);
    return decoded.width == 24 && decoded.height == 10 ? 0 : 1;
}
