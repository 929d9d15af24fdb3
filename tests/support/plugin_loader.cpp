#include "tests/support/plugin_loader.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

namespace xqob::test {

namespace {

template <typename F>
void bind(void* library, const char* name, F* function) {
    void* symbol = dlsym(library, name);
    if (symbol == nullptr) {
        std::fprintf(stderr, "plug-in lacks %s\n", name);
        std::abort();
    }
    *function = reinterpret_cast<F>(symbol);
}

PluginExports load() {
    void* library = dlopen(XQOB_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        std::fprintf(stderr, "cannot load %s: %s\n", XQOB_PLUGIN_PATH, dlerror());
        std::abort();
    }
    PluginExports exports{};
    bind(library, "vkmGetPluginInfo", &exports.getPluginInfo);
    bind(library, "vkmLoadPictureInit", &exports.init);
    bind(library, "vkmLoadPictureGetInfo", &exports.getInfo);
    bind(library, "vkmLoadPictureGetLine", &exports.getLine);
    bind(library, "vkmLoadPictureGetColormap", &exports.getColormap);
    bind(library, "vkmLoadPictureExit", &exports.exit);
    return exports;
}

}  // namespace

const PluginExports& plugin() {
    static const PluginExports exports = load();
    return exports;
}

}  // namespace xqob::test
