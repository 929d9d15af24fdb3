// Header information through the C interface: from memory, a file or a read callback.
#include <cerrno>
#include <cstdio>
#include <vector>

#include "xqob/capi/capi_common.h"
#include "xqob/capi/capi_input.h"
#include "xqob/capi/read_callback.h"

using namespace xqob;

namespace {

xqob_status fillInfo(const Input& read, xqob_info* info, xqob_error* error) {
    xqob_info out{};
    out.width = read.header.width;
    out.height = read.header.height;
    out.gray = read.header.gray;
    out.full_chroma = read.header.fullChroma;
    out.quality = 100 - read.header.qualityIndex;
    out.chroma_quality = 80 - read.header.chromaQuantiser;
    out.header_bytes = read.headerBytes;
    out.optional_block = read.headerBytes == 24;
    out.payload_bytes = read.totalBytes - read.headerBytes;
    writeSized(out, info);
    return reportSuccess(error);
}

bool usable(const xqob_info* info) {
    return info != nullptr && info->struct_size >= kInfoSize1;
}

const char* const kBadInfo = "info is NULL or its struct_size is smaller than xqob_info";

}  // namespace

extern "C" {

xqob_status xqob_info_memory(const void* data, size_t size, xqob_info* info, xqob_error* error) {
    if (!usable(info)) return report(error, XQOB_ERROR_INVALID_ARGUMENT, kBadInfo);
    if (data == nullptr && size != 0) {
        return report(error, XQOB_ERROR_INVALID_ARGUMENT, "data is NULL");
    }
    Input input;
    if (!readMemoryInput(static_cast<const uint8_t*>(data), size, &input)) {
        return reportFailure(error, input.failure);
    }
    return fillInfo(input, info, error);
}

xqob_status xqob_info_file(const char* path, xqob_info* info, xqob_error* error) {
    if (!usable(info)) return report(error, XQOB_ERROR_INVALID_ARGUMENT, kBadInfo);
    if (path == nullptr) return report(error, XQOB_ERROR_INVALID_ARGUMENT, "path is NULL");
    Input input;
    if (!openFileInput(path, &input)) return reportFailure(error, input.failure);
    return fillInfo(input, info, error);
}

xqob_status xqob_info_callback(xqob_read_callback read, void* opaque, xqob_info* info,
                               xqob_error* error) {
    if (!usable(info)) return report(error, XQOB_ERROR_INVALID_ARGUMENT, kBadInfo);
    if (read == nullptr) return report(error, XQOB_ERROR_INVALID_ARGUMENT, "read is NULL");
    std::vector<uint8_t> bytes;
    if (xqob_status status = readHeaderBytes(read, opaque, &bytes)) {
        return report(error, status, describeInputStatus(status));
    }
    Input input;
    if (!readMemoryInput(bytes.data(), bytes.size(), &input)) {
        return reportFailure(error, input.failure);
    }
    // Only the header was read: the payload's length is not known.
    input.totalBytes = input.headerBytes;
    return fillInfo(input, info, error);
}

}  // extern "C"
