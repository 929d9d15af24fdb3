// The host harness that stands in for the image viewer, shared by the Linux build (dlopen)
// and the Windows build (LoadLibrary): each platform supplies only a Loader.
//
//   xqob-host LIBRARY IN.qob OUT.pnm
//       Identifies the plug-in, opens one picture, pulls its rows in the host's order and
//       writes them as binary PGM (gray) or PPM (colour).
//   xqob-host --info LIBRARY [IN.qob]
//       Prints, as text, every byte that vkmGetPluginInfo writes for interface versions 1, 2
//       and 3 and label buffer sizes 0, 2 and 8; with a picture, also what
//       vkmLoadPictureGetInfo and vkmLoadPictureGetColormap write. Every output is
//       pre-filled with a marker so that bytes left alone show up.
//
// Exit status: 0 on success, 1 when the plug-in does not open the picture, 2 on bad usage
// or when the library or output cannot be used.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "../xqob/plugin/plugin_api.h"

namespace xqob_host {

// The exports, typed after their declarations so that the calling convention matches.
struct Plugin {
    decltype(&vkmGetPluginInfo) getPluginInfo;
    decltype(&vkmLoadPictureInit) init;
    decltype(&vkmLoadPictureGetInfo) getInfo;
    decltype(&vkmLoadPictureGetLine) getLine;
    decltype(&vkmLoadPictureGetColormap) getColormap;
    decltype(&vkmLoadPictureExit) exit;
};

// How one platform loads a library and looks up an export by name. open prints its own
// message and returns null on failure; symbol returns null for a missing name.
struct Loader {
    void* (*open)(const char* name);
    void* (*symbol)(void* library, const char* name);
    void (*close)(void* library);
};

template <typename F>
bool bind(const Loader& loader, void* library, const char* name, F* function) {
    void* symbol = loader.symbol(library, name);
    if (symbol == nullptr) {
        std::fprintf(stderr, "xqob-host: missing export %s\n", name);
        return false;
    }
    *function = reinterpret_cast<F>(symbol);
    return true;
}

inline bool bindPlugin(const Loader& loader, void* library, Plugin* plugin) {
    return bind(loader, library, "vkmGetPluginInfo", &plugin->getPluginInfo) &&
           bind(loader, library, "vkmLoadPictureInit", &plugin->init) &&
           bind(loader, library, "vkmLoadPictureGetInfo", &plugin->getInfo) &&
           bind(loader, library, "vkmLoadPictureGetLine", &plugin->getLine) &&
           bind(loader, library, "vkmLoadPictureGetColormap", &plugin->getColormap) &&
           bind(loader, library, "vkmLoadPictureExit", &plugin->exit);
}

constexpr uint8_t marker = 0xee;

inline void printBytes(const char* name, const void* bytes, size_t count) {
    std::printf(" %s", name);
    for (size_t i = 0; i < count; ++i) std::printf(" %02x", static_cast<const uint8_t*>(bytes)[i]);
}

inline void printPluginInfo(const Plugin& plugin) {
    for (int32_t version : {1, 2, 3}) {
        for (uint32_t labelSize : {0u, 2u, 8u}) {
            char label[12];
            uint32_t extension;
            int32_t flag;
            std::memset(label, marker, sizeof label);
            std::memset(&extension, marker, sizeof extension);
            std::memset(&flag, marker, sizeof flag);
            const int32_t result =
                plugin.getPluginInfo(version, label, labelSize, &extension, 0, &flag);
            std::printf("vkmGetPluginInfo version %d labelSize %u -> %d", version, labelSize,
                        result);
            printBytes("label", label, sizeof label);
            printBytes("extension", &extension, sizeof extension);
            printBytes("flag", &flag, sizeof flag);
            std::printf("\n");
        }
    }
}

// Prints what the picture's handle reports; 1 when the picture does not open.
inline int printPictureInfo(const Plugin& plugin, const char* inName) {
    void* handle = plugin.init(inName);
    if (handle == nullptr) {
        std::printf("vkmLoadPictureInit -> null\n");
        return 1;
    }
    int32_t values[7];
    char description[16];
    std::memset(values, marker, sizeof values);
    std::memset(description, marker, sizeof description);
    const int32_t result = plugin.getInfo(handle, &values[0], &values[1], &values[2], &values[3],
                                          &values[4], &values[5], &values[6], description, 0);
    std::printf("vkmLoadPictureGetInfo -> %d", result);
    printBytes("values", values, sizeof values);
    printBytes("description", description, sizeof description);
    std::printf("\nvkmLoadPictureGetColormap -> %d\n", plugin.getColormap(handle, nullptr));
    plugin.exit(handle);
    return 0;
}

// Opens the picture and writes its rows as PGM or PPM.
inline int decodeToPnm(const Plugin& plugin, const char* libraryName, const char* inName,
                       const char* outName) {
    char label[16] = {};
    uint32_t extension = 0;
    int32_t flag = 0;
    if (plugin.getPluginInfo(2, label, sizeof label, &extension, 0, &flag) != 1) {
        std::fprintf(stderr, "xqob-host: %s: plug-in refuses interface version 2\n", libraryName);
        return 2;
    }
    void* handle = plugin.init(inName);
    if (handle == nullptr) {
        std::fprintf(stderr, "xqob-host: %s: not opened\n", inName);
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
    return status;
}

inline int hostMain(int argc, char** argv, const Loader& loader) {
    const bool info = argc >= 2 && std::strcmp(argv[1], "--info") == 0;
    if (info ? (argc != 3 && argc != 4) : argc != 4) {
        std::fprintf(stderr,
                     "usage: xqob-host LIBRARY IN.qob OUT.pnm\n"
                     "       xqob-host --info LIBRARY [IN.qob]\n");
        return 2;
    }
    const char* libraryName = info ? argv[2] : argv[1];
    void* library = loader.open(libraryName);
    if (library == nullptr) return 2;
    Plugin plugin;
    int status = 2;
    if (bindPlugin(loader, library, &plugin)) {
        if (!info) {
            status = decodeToPnm(plugin, libraryName, argv[2], argv[3]);
        } else {
            printPluginInfo(plugin);
            status = argc == 4 ? printPictureInfo(plugin, argv[3]) : 0;
        }
    }
    std::fflush(stdout);
    loader.close(library);
    return status;
}

}  // namespace xqob_host
