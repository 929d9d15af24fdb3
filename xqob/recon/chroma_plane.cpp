#include "xqob/recon/plane_loops.h"

namespace xqob {

// Placeholder until the chroma loop lands.
void decodeChromaPlane(DecoderContext* context) { (void)context; }

}  // namespace xqob
