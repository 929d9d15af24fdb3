#include "xqob/output/deblock.h"

namespace xqob {

// Placeholder until the deblocking filter lands.
void deblockPicture(DecoderContext* context) { (void)context; }

}  // namespace xqob
