// Per-kernel timings of the dsp layer at every level this processor runs.
#pragma once

#include <cstdint>

namespace xqob {

int runKernelBench(int32_t runs);

}  // namespace xqob
