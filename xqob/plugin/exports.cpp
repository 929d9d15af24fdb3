#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "xqob/decoder/decode_picture.h"
#include "xqob/format/header.h"
#include "xqob/plugin/load_handle.h"
#include "xqob/plugin/plugin_api.h"

using xqob::LoadHandle;

namespace {

// Reads the header once to learn the geometry; the file is closed on every path.
bool probeFile(const char* fileName, xqob::PictureHeader* header) {
    std::FILE* file = std::fopen(fileName, "rb");
    if (file == nullptr) return false;
    xqob::ByteSource source = xqob::fileSource(file);
    const bool accepted = xqob::readPictureHeader(&source, header) == 0;
    std::fclose(file);
    return accepted;
}

uint64_t rowBytes(const LoadHandle* handle) {
    return uint64_t(handle->width) * uint64_t(handle->bytesPerPixel);
}

LoadHandle* openPicture(const char* fileName) {
    LoadHandle* handle = static_cast<LoadHandle*>(std::malloc(sizeof(LoadHandle)));
    if (handle == nullptr) return nullptr;
    xqob::PictureHeader header;
    if (!probeFile(fileName, &header)) {
        std::free(handle);
        return nullptr;
    }
    handle->width = header.width;
    handle->height = header.height;
    handle->gray = header.gray;
    handle->quality = 100 - header.qualityIndex;
    handle->chromaQuality = 80 - header.chromaQuantiser;
    handle->fullChroma = header.fullChroma;
    handle->bytesPerPixel = header.gray ? 1 : 3;
    handle->pixels = nullptr;
    handle->cursor = nullptr;

    // At most 65535 * 65535 * 3 bytes: exact in 64 bits, refused where it exceeds size_t.
    // An empty picture still gets a (one-byte) buffer so that success is not mistaken for
    // an allocation failure.
    const uint64_t size = rowBytes(handle) * uint64_t(handle->height);
    if (size <= SIZE_MAX) handle->pixels = static_cast<uint8_t*>(std::malloc(size ? size : 1));
    if (handle->pixels == nullptr) {
        std::free(handle);
        return nullptr;
    }

    xqob::DecodeRequest request;
    request.fileName = fileName;
    request.expected = &header;
    if (xqob::decodePicture(request, handle->pixels) != 0) {
        std::free(handle->pixels);
        std::free(handle);
        return nullptr;
    }
    handle->cursor = handle->pixels;
    return handle;
}

}  // namespace

extern "C" {

int32_t VKM_CALL vkmGetPluginInfo(int32_t version, char* label, uint32_t labelSize,
                                  uint32_t* extension, uint32_t unused, int32_t* flag) {
    (void)unused;
    if (version != 2) return 0;
    std::strncpy(label, "QOB", labelSize);
    const char bytes[4] = {'q', 'o', 'b', '\0'};
    uint32_t value;
    std::memcpy(&value, bytes, 4);
    *extension = value;
    *flag = 1;
    return 1;
}

void* VKM_CALL vkmLoadPictureInit(const char* fileName) {
    if (fileName == nullptr) return nullptr;
    try {
        return openPicture(fileName);
    } catch (...) {
        // Nothing may unwind into the host.
        return nullptr;
    }
}

int32_t VKM_CALL vkmLoadPictureGetInfo(void* handle, int32_t* zero1, int32_t* width,
                                       int32_t* height, int32_t* kind, int32_t* bitsPerPixel,
                                       int32_t* bytesPerRow, int32_t* zero2, char* description,
                                       uint32_t unused) {
    (void)unused;
    if (handle == nullptr) return 0;
    const LoadHandle* picture = static_cast<const LoadHandle*>(handle);
    *width = picture->width;
    *height = picture->height;
    *bitsPerPixel = picture->bytesPerPixel * 8;
    *zero1 = 0;
    *kind = 68;
    *bytesPerRow = picture->bytesPerPixel * picture->width;
    *zero2 = 0;
    std::snprintf(description, 11, "QOB -q %d", picture->quality);
    return 1;
}

int32_t VKM_CALL vkmLoadPictureGetLine(void* handle, int32_t row, uint8_t* destination) {
    (void)row;
    if (handle == nullptr) return 0;
    LoadHandle* picture = static_cast<LoadHandle*>(handle);
    const uint64_t bytes = rowBytes(picture);
    // Rows of a zero-width picture are empty: handing one out writes nothing, and the cursor
    // cannot count them, so every such call succeeds.
    if (bytes == 0) return picture->height > 0 ? 1 : 0;
    const uint64_t delivered = uint64_t(picture->cursor - picture->pixels);
    if (delivered >= bytes * uint64_t(picture->height)) return 0;
    std::memcpy(destination, picture->cursor, size_t(bytes));
    picture->cursor += bytes;
    return 1;
}

int32_t VKM_CALL vkmLoadPictureGetColormap(void* handle, void* colormap) {
    (void)handle, (void)colormap;
    return 0;
}

void VKM_CALL vkmLoadPictureExit(void* handle) {
    if (handle == nullptr) return;
    LoadHandle* picture = static_cast<LoadHandle*>(handle);
    std::free(picture->pixels);
    std::free(picture);
}

}  // extern "C"

#if defined(_WIN32)
#include <windows.h>
extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
    (void)module, (void)reason, (void)reserved;
    return TRUE;
}
#endif
