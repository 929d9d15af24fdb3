// Windows: files named by UTF-16 paths, which reach every name the file system holds (the
// char functions go through the C runtime and the system's ANSI code page).
#ifdef _WIN32

#include <cerrno>
#include <cstdio>

#include "xqob/capi/capi_common.h"

using namespace xqob;

namespace {

size_t readFile(void* opaque, void* buffer, size_t size) {
    std::FILE* file = static_cast<std::FILE*>(opaque);
    const size_t got = std::fread(buffer, 1, size, file);
    return got < size && std::ferror(file) ? size_t(-1) : got;
}

xqob_status openFile(const wchar_t* path, std::FILE** file, xqob_error* error) {
    if (path == nullptr) return report(error, XQOB_ERROR_INVALID_ARGUMENT, "path is NULL");
    *file = _wfopen(path, L"rb");
    if (*file != nullptr) return XQOB_OK;
    return reportFailure(error, DecodeFailure{FailureReason::cannotOpen, errno});
}

}  // namespace

extern "C" {

xqob_status xqob_info_file_w(const wchar_t* path, xqob_info* info, xqob_error* error) {
    if (info == nullptr || info->struct_size < kInfoSize1) {
        return report(error, XQOB_ERROR_INVALID_ARGUMENT,
                      "info is NULL or its struct_size is smaller than xqob_info");
    }
    std::FILE* file = nullptr;
    if (xqob_status status = openFile(path, &file, error)) return status;
    xqob_status status = xqob_info_callback(readFile, file, info, error);
    // The callback cannot know the payload's length; the file can.
    if (status == XQOB_OK && _fseeki64(file, 0, SEEK_END) == 0) {
        const int64_t end = _ftelli64(file);
        if (end >= int64_t(info->header_bytes)) {
            info->payload_bytes = uint64_t(end) - info->header_bytes;
        }
    }
    std::fclose(file);
    return status;
}

xqob_status xqob_decode_file_w(const wchar_t* path, const xqob_decode_options* options,
                               xqob_image* image, xqob_error* error) {
    std::FILE* file = nullptr;
    if (xqob_status status = openFile(path, &file, error)) return status;
    const xqob_status status = xqob_decode_callback(readFile, file, options, image, error);
    std::fclose(file);
    return status;
}

}  // extern "C"

#endif  // _WIN32
