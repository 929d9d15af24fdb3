// Stands in for the host image viewer: loads the plug-in at run time, identifies it, opens
// one picture, pulls its rows in the host's order and writes them as binary PGM or PPM.
//
//   xqob-host LIBRARY IN.qob OUT.pnm
//
// Exit status: 0 on success, 1 when the plug-in does not open the picture, 2 on bad usage
// or when the library or output cannot be used.
#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

using GetPluginInfo = int32_t (*)(int32_t, char*, uint32_t, uint32_t*, uint32_t, int32_t*);
using LoadPictureInit = void* (*)(const char*);
using LoadPictureGetInfo = int32_t (*)(void*, int32_t*, int32_t*, int32_t*, int32_t*, int32_t*,
                                       int32_t*, int32_t*, char*, uint32_t);
using LoadPictureGetLine = int32_t (*)(void*, int32_t, uint8_t*);
using LoadPictureGetColormap = int32_t (*)(void*, void*);
using LoadPictureExit = void (*)(void*);

struct Plugin {
    GetPluginInfo getPluginInfo;
    LoadPictureInit init;
    LoadPictureGetInfo getInfo;
    LoadPictureGetLine getLine;
    LoadPictureGetColormap getColormap;
    LoadPictureExit exit;
};

template <typename F>
bool bind(void* library, const char* name, F* function) {
    void* symbol = dlsym(library, name);
    if (symbol == nullptr) {
        std::fprintf(stderr, "xqob-host: missing export %s\n", name);
        return false;
    }
    *function = reinterpret_cast<F>(symbol);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: xqob-host LIBRARY IN.qob OUT.pnm\n");
        return 2;
    }
    const char* libraryName = argv[1];
    const char* inName = argv[2];
    const char* outName = argv[3];

    void* library = dlopen(libraryName, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        std::fprintf(stderr, "xqob-host: %s\n", dlerror());
        return 2;
    }
    Plugin plugin;
    if (!bind(library, "vkmGetPluginInfo", &plugin.getPluginInfo) ||
        !bind(library, "vkmLoadPictureInit", &plugin.init) ||
        !bind(library, "vkmLoadPictureGetInfo", &plugin.getInfo) ||
        !bind(library, "vkmLoadPictureGetLine", &plugin.getLine) ||
        !bind(library, "vkmLoadPictureGetColormap", &plugin.getColormap) ||
        !bind(library, "vkmLoadPictureExit", &plugin.exit)) {
        dlclose(library);
        return 2;
    }

    char label[16] = {};
    uint32_t extension = 0;
    int32_t flag = 0;
    if (plugin.getPluginInfo(2, label, sizeof label, &extension, 0, &flag) != 1) {
        std::fprintf(stderr, "xqob-host: %s: plug-in refuses interface version 2\n", libraryName);
        dlclose(library);
        return 2;
    }

    void* handle = plugin.init(inName);
    if (handle == nullptr) {
        std::fprintf(stderr, "xqob-host: %s: not opened\n", inName);
        dlclose(library);
        return 1;
    }
    int32_t zero1 = -1, width = 0, height = 0, kind = 0, bitsPerPixel = 0, bytesPerRow = 0,
            zero2 = -1;
    char description[64] = {};
    plugin.getInfo(handle, &zero1, &width, &height, &kind, &bitsPerPixel, &bytesPerRow, &zero2,
                   description, 0);

    int status = 0;
    std::FILE* out = std::fopen(outName, "wb");
    if (out == nullptr) {
        std::perror(outName);
        status = 2;
    } else {
        std::fprintf(out, "%s\n%d %d\n255\n", bitsPerPixel == 8 ? "P5" : "P6", width, height);
        std::vector<uint8_t> row(size_t(bytesPerRow) + 1);
        for (int32_t r = 0; r < height; ++r) {
            if (plugin.getLine(handle, r, row.data()) != 1) {
                std::fprintf(stderr, "xqob-host: %s: row %d refused\n", inName, r);
                status = 1;
                break;
            }
            std::fwrite(row.data(), 1, size_t(bytesPerRow), out);
        }
        if (std::fclose(out) != 0) status = 2;
    }
    plugin.exit(handle);
    dlclose(library);
    return status;
}
