// The host harness on Linux: loads the plug-in with dlopen. See host_main.h for the usage
// and the exit status.
#include <dlfcn.h>

#include <cstdio>

#include "host_main.h"

namespace {

void* openLibrary(const char* name) {
    void* library = dlopen(name, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) std::fprintf(stderr, "xqob-host: %s\n", dlerror());
    return library;
}

void* findSymbol(void* library, const char* name) {
    return dlsym(library, name);
}

void closeLibrary(void* library) {
    dlclose(library);
}

}  // namespace

int main(int argc, char** argv) {
    const xqob_host::Loader loader = {openLibrary, findSymbol, closeLibrary};
    return xqob_host::hostMain(argc, argv, loader);
}
