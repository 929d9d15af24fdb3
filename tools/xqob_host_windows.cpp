// The host harness on Windows: loads the plug-in with LoadLibrary and finds the six exports
// by their plain names with GetProcAddress. See host_main.h for the usage and the exit status.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

#include "host_main.h"

namespace {

void* openLibrary(const char* name) {
    HMODULE library = LoadLibraryA(name);
    if (library == nullptr) {
        std::fprintf(stderr, "xqob-host: %s: cannot load (error %lu)\n", name,
                     static_cast<unsigned long>(GetLastError()));
    }
    return reinterpret_cast<void*>(library);
}

void* findSymbol(void* library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void closeLibrary(void* library) {
    FreeLibrary(static_cast<HMODULE>(library));
}

}  // namespace

int main(int argc, char** argv) {
    // The text of --info must match the Linux host byte for byte: no CR before LF.
    _setmode(_fileno(stdout), _O_BINARY);
    const xqob_host::Loader loader = {openLibrary, findSymbol, closeLibrary};
    return xqob_host::hostMain(argc, argv, loader);
}
