#include <cstring>

#include "xqob/recon/plane_loops.h"

namespace xqob {

// Placeholder until the luma loop lands: a black plane.
void decodeLumaPlane(DecoderContext* context) {
    std::memset(context->planeY, 0, size_t(context->paddedWidth) * size_t(context->paddedHeight));
}

}  // namespace xqob
