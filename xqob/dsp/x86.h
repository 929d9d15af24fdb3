// The x86 kernel tables. Each kernel carries its own target attribute, so the files build
// for any x86 target (the 32-bit one has no SSE2 by default) and run only where chosen.
#pragma once

#include "xqob/dsp/dsp.h"

#if defined(__x86_64__) || defined(__i386__)
#define XQOB_DSP_X86 1
#else
#define XQOB_DSP_X86 0
#endif

#if XQOB_DSP_X86
#define XQOB_SSE2 __attribute__((target("sse2")))
#define XQOB_AVX2 __attribute__((target("avx2")))

namespace xqob {

extern const DspFunctions sse2Dsp;
extern const DspFunctions avx2Dsp;

}  // namespace xqob
#endif
