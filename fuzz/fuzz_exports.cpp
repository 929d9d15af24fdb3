// Drives the plug-in exports on arbitrary bytes written to a temporary file, in the host's
// calling order. The exports have no pixel limit, so inputs whose header claims more than
// 2^22 pixels are skipped here (huge claims are covered by the hostile-file tests).
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "xqob/plugin/plugin_api.h"

namespace {

bool claimsHugePicture(const uint8_t* data, size_t size) {
    if (size < 6) return false;
    const size_t at = (data[5] & 1) ? 16 : 6;
    if (size < at + 4) return false;
    const uint64_t width = data[at] * 256u + data[at + 1];
    const uint64_t height = data[at + 2] * 256u + data[at + 3];
    return width * height > (uint64_t{1} << 22);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (claimsHugePicture(data, size)) return 0;
    static const std::string path = "/tmp/xqob-fuzz-exports-" + std::to_string(getpid()) + ".qob";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    void* handle = vkmLoadPictureInit(path.c_str());
    if (handle == nullptr) return 0;
    int32_t zero1, width, height, kind, bits, bytesPerRow, zero2;
    char description[16];
    if (vkmLoadPictureGetInfo(handle, &zero1, &width, &height, &kind, &bits, &bytesPerRow, &zero2,
                              description, 0) != 1) {
        std::abort();
    }
    std::vector<uint8_t> row(size_t(bytesPerRow) + 1);
    for (int32_t r = 0; r < height; ++r) {
        if (vkmLoadPictureGetLine(handle, r, row.data()) != 1 && bytesPerRow > 0) std::abort();
    }
    // Past the last row nothing more is handed out (rows of a zero-width picture are empty
    // and always succeed).
    if (bytesPerRow > 0 && vkmLoadPictureGetLine(handle, height, row.data()) != 0) std::abort();
    vkmLoadPictureExit(handle);
    return 0;
}
