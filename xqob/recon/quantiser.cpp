#include "xqob/recon/quantiser.h"

namespace xqob {

// Placeholder until the quantiser set-up lands.
void setUpQuantiser(DecoderContext* context) { (void)context; }

}  // namespace xqob
