// Links the SIMD128 pixel kernels into xqob-simd.wasm: the decoder refers to their table only
// weakly, so that xqob.wasm, built from the same objects, holds no SIMD instruction.
#include "xqob/dsp/wasm.h"

extern "C" __attribute__((used)) const void* const xqob_web_simd_kernels = &xqob::simd128Dsp;
