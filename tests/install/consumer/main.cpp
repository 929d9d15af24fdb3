// Encodes and decodes a small picture through the installed package's C++ header.
#include <cstdio>
#include <vector>
#include <xqob/xqob.hpp>

#if !defined(XQOB_VERSION_MAJOR) || XQOB_VERSION < (1 << 16)
#error "xqob.h has no usable version macros"
#endif

int main() {
    const std::vector<uint8_t> pixels(24 * 10 * 3, 100);
    std::vector<uint8_t> qob;
    if (xqob::Error error = xqob::encode(xqob::ImageView{pixels.data(), 24, 10}, {}, qob)) {
        return std::puts(error.message.c_str()), 1;
    }
    xqob::Image decoded;
    if (xqob::Error error = xqob::decodeMemory(qob, decoded)) return 1;
    std::printf("xqob %s: %dx%d\n", xqob::versionString(), decoded.width, decoded.height);
    return decoded.width == 24 && decoded.height == 10 && xqob::version() == XQOB_VERSION ? 0 : 1;
}
