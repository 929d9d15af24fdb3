// The WebAssembly SIMD128 kernel table. Its functions carry the simd128 target attribute, so
// the file builds into every WebAssembly module, and the table is referenced weakly: a module
// contains the SIMD instructions (and then validates only on engines that run them) only when
// something links the table in on purpose (web/simd_kernels.cpp does, for xqob-simd.wasm).
#pragma once

#include "xqob/dsp/dsp.h"

#if defined(__wasm__)
#define XQOB_DSP_WASM 1
#define XQOB_SIMD128 __attribute__((target("simd128")))

namespace xqob {

extern const DspFunctions simd128Dsp;

bool predictIntra8x8Simd128(const IntraEdge* edge, int32_t mode, bool chroma, int32_t* out);
bool predictIntra4x4Simd128(const IntraEdge* edge, int32_t mode, int32_t* out);

}  // namespace xqob
#else
#define XQOB_DSP_WASM 0
#endif
