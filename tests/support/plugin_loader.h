// The plug-in's six exports, loaded at run time from the shared library as the host does.
#pragma once

#include <cstdint>

namespace xqob::test {

struct PluginExports {
    int32_t (*getPluginInfo)(int32_t, char*, uint32_t, uint32_t*, uint32_t, int32_t*);
    void* (*init)(const char*);
    int32_t (*getInfo)(void*, int32_t*, int32_t*, int32_t*, int32_t*, int32_t*, int32_t*, int32_t*,
                       char*, uint32_t);
    int32_t (*getLine)(void*, int32_t, uint8_t*);
    int32_t (*getColormap)(void*, void*);
    void (*exit)(void*);
};

// The exports of the built plug-in; loaded once per process and kept loaded.
const PluginExports& plugin();

}  // namespace xqob::test
