// Decodes arbitrary bytes from memory through the public interface. The pixel limit keeps
// the fuzzer on the syntax rather than on huge allocations. Decoding the same bytes twice
// must give the same result.
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include <xqob/xqob.hpp>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    xqob::DecodeOptions options;
    options.maxPixels = uint64_t{1} << 20;
    xqob::Image first, second;
    const xqob::Error a = xqob::decodeMemory(data, size, first, options);
    const xqob::Error b = xqob::decodeMemory(data, size, second, options);
    if (a.code != b.code || a.message != b.message ||
        !std::ranges::equal(first.bytes(), second.bytes())) {
        std::abort();
    }
    if (!a &&
        first.size() != size_t(first.width) * size_t(first.height) * size_t(first.channels())) {
        std::abort();
    }
    return 0;
}
