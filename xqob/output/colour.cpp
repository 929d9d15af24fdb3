#include "xqob/output/colour.h"

#include <cstring>

namespace xqob {

// Placeholders until the colour conversion lands: black rows.
void setUpColourTables(DecoderContext* context) { (void)context; }

void convertFullResolution(DecoderContext* context, const uint8_t* planeY, uint8_t* out,
                           int32_t paddedWidth, int32_t paddedHeight, int32_t width,
                           int32_t height) {
    (void)context, (void)planeY, (void)paddedWidth, (void)paddedHeight;
    std::memset(out, 0, size_t(width) * size_t(height) * 3);
}

void convertHalfResolution(DecoderContext* context, const uint8_t* planeY, uint8_t* out,
                           int32_t paddedWidth, int32_t paddedHeight, int32_t width,
                           int32_t height) {
    convertFullResolution(context, planeY, out, paddedWidth, paddedHeight, width, height);
}

}  // namespace xqob
