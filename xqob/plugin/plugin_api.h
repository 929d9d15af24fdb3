// The six entry points the host image viewer calls, with C linkage. On 32-bit x86 they use
// the stdcall convention (the callee removes its arguments); elsewhere the platform's own.
#pragma once

#include <stdint.h>

#if defined(_WIN32)
// The DLL's module-definition file (xqob.def) names the exports: marking them dllexport too
// would export each a second time under its decorated stdcall name (vkmGetPluginInfo@24).
#define VKM_EXPORT
#else
#define VKM_EXPORT __attribute__((visibility("default")))
#endif

#if defined(_WIN32) && (defined(__i386__) || defined(_M_IX86))
#define VKM_CALL __stdcall
#else
#define VKM_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Fills the label "QOB", the extension "qob" and the flag when version is 2; returns 1 then,
// else 0 without writing anything.
VKM_EXPORT int32_t VKM_CALL vkmGetPluginInfo(int32_t version, char* label, uint32_t labelSize,
                                             uint32_t* extension, uint32_t unused, int32_t* flag);

// Opens and fully decodes the picture in fileName; null on any failure.
VKM_EXPORT void* VKM_CALL vkmLoadPictureInit(const char* fileName);

// Writes the geometry and a description of at most 11 bytes; returns 1 (0 for a null handle).
VKM_EXPORT int32_t VKM_CALL vkmLoadPictureGetInfo(void* handle, int32_t* zero1, int32_t* width,
                                                  int32_t* height, int32_t* kind,
                                                  int32_t* bitsPerPixel, int32_t* bytesPerRow,
                                                  int32_t* zero2, char* description,
                                                  uint32_t unused);

// Copies the next row, top row first, whatever row is passed; returns 1, or 0 once every
// row has gone out.
VKM_EXPORT int32_t VKM_CALL vkmLoadPictureGetLine(void* handle, int32_t row, uint8_t* destination);

// No colour maps: returns 0.
VKM_EXPORT int32_t VKM_CALL vkmLoadPictureGetColormap(void* handle, void* colormap);

// Frees the picture and the handle.
VKM_EXPORT void VKM_CALL vkmLoadPictureExit(void* handle);

#ifdef __cplusplus
}
#endif
