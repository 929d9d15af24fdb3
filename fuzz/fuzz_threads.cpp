// Decodes arbitrary bytes on one thread and on two and compares everything the caller sees:
// the result, the failure, and every row delivered before it. A row callback that refuses a
// row picked from the input's size stops some of the decodes part way.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "xqob/decoder/decode_picture.h"

namespace {

struct Seen {
    int32_t result = 0;
    xqob::DecodeFailure failure;
    int32_t stopAt = -1;
    int32_t rowBytes = 0;
    std::vector<int32_t> numbers;
    std::vector<uint8_t> rows;
};

bool keepRow(void* opaque, int32_t row, const uint8_t* pixels) {
    Seen* seen = static_cast<Seen*>(opaque);
    if (row == seen->stopAt) return false;
    seen->numbers.push_back(row);
    seen->rows.insert(seen->rows.end(), pixels, pixels + seen->rowBytes);
    return true;
}

Seen decode(const uint8_t* data, size_t size, int32_t threads, int32_t stopAt, int32_t rowBytes) {
    Seen seen;
    seen.stopAt = stopAt;
    seen.rowBytes = rowBytes;
    xqob::DecodeRequest request;
    request.data = data;
    request.size = size;
    request.maxPixels = uint64_t{1} << 20;
    request.sink = keepRow;
    request.sinkOpaque = &seen;
    request.threads = threads;
    seen.result = xqob::decodePicture(request, nullptr, &seen.failure);
    return seen;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    xqob::ByteSource source = xqob::memorySource(data, size);
    xqob::PictureHeader header{};
    xqob::DecodeFailure ignored;
    if (xqob::readPictureHeader(&source, &header, &ignored) != 0) return 0;
    const int32_t rowBytes = header.width * (header.gray ? 1 : 3);
    const int32_t stopAt = size % 3 == 0 ? int32_t(size % 61) : -1;
    const Seen one = decode(data, size, 1, stopAt, rowBytes);
    const Seen two = decode(data, size, 2, stopAt, rowBytes);
    if (one.result != two.result || one.failure.reason != two.failure.reason ||
        one.failure.value != two.failure.value || one.failure.value2 != two.failure.value2 ||
        one.numbers != two.numbers || one.rows != two.rows) {
        std::abort();
    }
    return 0;
}
