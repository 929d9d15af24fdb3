#include "xqob/entropy/block_syntax.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

#include "xqob/entropy/arith_decoder.h"
#include "xqob/entropy/chroma_syntax.h"
#include "xqob/entropy/luma_syntax.h"
#include "xqob/entropy/mode_bins.h"
#include "xqob/entropy/residual_bins.h"

namespace xqob {

namespace {

// Decoder is the plain decoder (DecoderContext) or the register copy (ArithState); the
// contexts come from the records through context either way.
template <typename Decoder>
XQOB_ALWAYS_INLINE int32_t decodeSelector(Decoder* decoder, BitModel* first, BitModel* second) {
    if (decodeBit(decoder, first)) return 0;
    return decodeBit(decoder, second) ? 2 : 1;
}

// A size the optimiser cannot see through. At 256 bytes, a size it knows, GCC clears with a
// string instruction (rep stos), which costs more than the library's memset on a block this
// small.
inline size_t opaqueSize(size_t bytes) {
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    __asm__("" : "+r"(bytes));
#endif
    return bytes;
}

template <typename Decoder>
XQOB_ALWAYS_INLINE void decodeLevels(Decoder* decoder, const ResidualKind& kind, int32_t* levels) {
    const size_t bytes = size_t(kind.size) * sizeof(int32_t);
    std::memset(levels, 0, kind.size == 64 ? opaqueSize(bytes) : bytes);
    decodeResidualBins(decoder, kind, levels);
}

template <typename Decoder>
XQOB_ALWAYS_INLINE void decodeQuadrant8x8(DecoderContext* context, Decoder* decoder,
                                          MacroblockInfo* info, int32_t q, int32_t type,
                                          const QuadrantNeighbours& n, int32_t* levels) {
    if (type == Flat) {
        const int32_t c = flatOffsetContext(n);
        info->flatOffset[q] = int8_t(decodeSelector(decoder, context->flatOffsetModels + c,
                                                    context->flatOffsetModels + 16 + c));
    } else {
        int32_t predicted;
        info->mode8x8[q] =
            int8_t(decodeIntraMode(decoder, context->mode8x8Models, modeFirstContext8x8(n),
                                   predictLumaMode(n), &predicted));
        info->mode8x8Predicted |= uint8_t(predicted << q);
    }
    if (decodeBit(decoder, context->codedQuadrantModels + codedQuadrantContext(n))) {
        info->codedQuadrants |= uint8_t(1u << q);
        decodeLevels(decoder, residualKind8x8(context, context->lumaQuantiser), levels);
    }
}

template <typename Decoder>
XQOB_ALWAYS_INLINE void decodeQuadrant4x4(DecoderContext* context, Decoder* decoder,
                                          MacroblockInfo* info, const MacroblockInfo* left,
                                          const MacroblockInfo* above, int32_t qx, int32_t qy,
                                          int32_t* levels) {
    for (int32_t i = 0; i < 4; ++i) {
        const int32_t bx = qx + 4 * (i & 1);
        const int32_t by = qy + 4 * (i >> 1);
        const int32_t k = blockIndex4x4(bx, by);
        const Block4x4Contexts c = block4x4Contexts(info, left, above, bx, by);
        int32_t predicted;
        const int32_t mode =
            decodeIntraMode(decoder, context->mode4x4Models, c.modeFirst, c.predicted, &predicted);
        info->mode4x4[k] = int8_t(mode);
        info->mode4x4Predicted |= uint16_t(predicted << k);
        if (decodeBit(decoder, context->coded4x4Models + c.coded)) {
            info->coded4x4 |= uint16_t(1u << k);
            decodeLevels(decoder, residualKind4x4(context, mode), levels + 16 * i);
        }
    }
}

template <typename Decoder>
XQOB_ALWAYS_INLINE void decodeMacroblockBins(DecoderContext* context, Decoder* decoder,
                                             MacroblockInfo* info, int32_t x, int32_t y,
                                             MacroblockLevels* levels) {
    info->mode4x4Predicted = 0;
    info->mode8x8Predicted = 0;
    info->coded4x4 = 0;
    info->codedQuadrants = 0;
    const MacroblockInfo* left = x > 0 ? info - 1 : nullptr;
    const MacroblockInfo* above = y > 0 ? info - (context->paddedWidth >> 4) : nullptr;
    for (int32_t q = 0; q < 4; ++q) {
        const int32_t qx = x + 8 * (q & 1);
        const int32_t qy = y + 8 * (q >> 1);
        // The quadrant's neighbours lie in this macroblock or in the one to the left or above.
        const uint32_t leftTraits = q & 1  ? info->quadrantTraits[q - 1]
                                    : left ? left->quadrantTraits[q + 1]
                                           : kEdgeTraits;
        const uint32_t aboveTraits = q & 2   ? info->quadrantTraits[q - 2]
                                     : above ? above->quadrantTraits[q + 2]
                                             : kEdgeTraits;
        const QuadrantNeighbours n{leftTraits, aboveTraits, qx, qy};
        int32_t type = Flat;
        if (!isFlatQuadrant(n)) {
            if (decodeBit(decoder, context->blockTypeModels + typeFirstContext(n))) {
                type = Intra8x8Weighted;
            } else {
                type = decodeBit(decoder, context->blockTypeModels + typeSecondContext(n))
                           ? Intra8x8
                           : Intra4x4;
            }
        }
        // Written before anything else of the quadrant, for the contexts of its own blocks.
        info->blockType[q] = int8_t(type);
        if (type == Intra4x4) {
            decodeQuadrant4x4(context, decoder, info, left, above, qx, qy, levels->block[q]);
        } else {
            decodeQuadrant8x8(context, decoder, info, q, type, n, levels->block[q]);
        }
        info->quadrantTraits[q] = quadrantTraits(info, q);
    }
}

template <typename Decoder>
XQOB_ALWAYS_INLINE void decodeChromaBins(DecoderContext* context, Decoder* decoder,
                                         ChromaBlockInfo* info, int32_t x, int32_t y,
                                         ChromaLevels* levels) {
    const ChromaNeighbours n{x > 0 ? info - 1 : nullptr,
                             y > 0 ? info - context->chromaWidth / 8 : nullptr};
    if (isFlatChromaBlock(n)) {
        info->blockType = Flat;
        int32_t cr;
        int32_t cb;
        chromaFlatOffsetContexts(n, &cr, &cb);
        BitModel* models = context->chromaFlatOffsetModels;
        info->flatOffsetCr = int8_t(decodeSelector(decoder, models + cr, models + 16 + cr));
        info->flatOffsetCb = int8_t(decodeSelector(decoder, models + 32 + cb, models + 48 + cb));
        info->modePredicted = 0;
    } else {
        info->blockType = Intra8x8;
        int32_t predicted;
        info->mode =
            int8_t(decodeIntraMode(decoder, context->chromaModeModels, chromaModeFirstContext(n),
                                   predictChromaMode(n), &predicted));
        info->modePredicted = int8_t(predicted);
    }
    info->codedCr = int8_t(decodeBit(decoder, context->codedCrModels + codedCrContext(n)));
    info->codedCb = int8_t(decodeBit(decoder, context->codedCbModels + info->codedCr));
    const ResidualKind kind = residualKindChroma(context);
    if (info->codedCr) decodeLevels(decoder, kind, levels->cr);
    if (info->codedCb) decodeLevels(decoder, kind, levels->cb);
}

// The register loops once more, built for LZCNT and BMI2: the leading-bit count of every
// renormalisation is one lzcnt and the shifts by a count need no cl. Everything the entry
// points below inline is compiled for that target; only processors that have it call them.
#if defined(__x86_64__) || defined(__i386__)
#define XQOB_BIT_INSTRUCTIONS 1
#define XQOB_BIT_TARGET __attribute__((target("lzcnt,bmi,bmi2")))
#else
#define XQOB_BIT_INSTRUCTIONS 0
#define XQOB_BIT_TARGET
#endif

void macroblockRegisters(DecoderContext* context, MacroblockInfo* info, int32_t x, int32_t y,
                         MacroblockLevels* levels) {
    ArithState state = loadArithState(context);
    decodeMacroblockBins(context, &state, info, x, y, levels);
    storeArithState(state);
}

void chromaRegisters(DecoderContext* context, ChromaBlockInfo* info, int32_t x, int32_t y,
                     ChromaLevels* levels) {
    ArithState state = loadArithState(context);
    decodeChromaBins(context, &state, info, x, y, levels);
    storeArithState(state);
}

#if XQOB_BIT_INSTRUCTIONS
XQOB_BIT_TARGET void macroblockBitInstructions(DecoderContext* context, MacroblockInfo* info,
                                               int32_t x, int32_t y, MacroblockLevels* levels) {
    ArithState state = loadArithState(context);
    decodeMacroblockBins(context, &state, info, x, y, levels);
    storeArithState(state);
}

XQOB_BIT_TARGET void chromaBitInstructions(DecoderContext* context, ChromaBlockInfo* info,
                                           int32_t x, int32_t y, ChromaLevels* levels) {
    ArithState state = loadArithState(context);
    decodeChromaBins(context, &state, info, x, y, levels);
    storeArithState(state);
}
#endif

#if XQOB_BIT_INSTRUCTIONS
// From the processor itself: not every compiler's feature test knows LZCNT.
bool processorHasBitInstructions() {
    unsigned int eax = 0;
    unsigned int ebx = 0;
    unsigned int ecx = 0;
    unsigned int edx = 0;
    if (__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) == 0) return false;
    const bool bmi = (ebx & (1u << 3)) != 0;
    const bool bmi2 = (ebx & (1u << 8)) != 0;
    if (__get_cpuid(0x80000001, &eax, &ebx, &ecx, &edx) == 0) return false;
    const bool lzcnt = (ecx & (1u << 5)) != 0;
    return bmi && bmi2 && lzcnt;
}
#endif

}  // namespace

bool entropyPathRuns(EntropyPath path) {
    if (path != EntropyPath::bitInstructions) return true;
#if XQOB_BIT_INSTRUCTIONS
    // Asked once per process, a constant from then on: under a hypervisor every cpuid traps,
    // at about 1.5 us each here, and a decode would otherwise ask four times.
    static const bool runs = processorHasBitInstructions();
    return runs;
#else
    return false;
#endif
}

EntropyPath bestEntropyPath() {
    return entropyPathRuns(EntropyPath::bitInstructions) ? EntropyPath::bitInstructions
                                                         : EntropyPath::registers;
}

void decodeMacroblockSyntax(DecoderContext* context, MacroblockInfo* info, int32_t x, int32_t y,
                            MacroblockLevels* levels) {
    switch (context->entropyPath) {
        case EntropyPath::plain:
            decodeMacroblockBins(context, context, info, x, y, levels);
            return;
#if XQOB_BIT_INSTRUCTIONS
        case EntropyPath::bitInstructions:
            macroblockBitInstructions(context, info, x, y, levels);
            return;
#endif
        default:
            macroblockRegisters(context, info, x, y, levels);
    }
}

void decodeChromaBlockSyntax(DecoderContext* context, ChromaBlockInfo* info, int32_t x, int32_t y,
                             ChromaLevels* levels) {
    switch (context->entropyPath) {
        case EntropyPath::plain:
            decodeChromaBins(context, context, info, x, y, levels);
            return;
#if XQOB_BIT_INSTRUCTIONS
        case EntropyPath::bitInstructions:
            chromaBitInstructions(context, info, x, y, levels);
            return;
#endif
        default:
            chromaRegisters(context, info, x, y, levels);
    }
}

void decodePictureSyntax(DecoderContext* context) {
    MacroblockLevels levels;
    MacroblockInfo* info = context->macroblockInfo;
    for (int32_t y = 0; y < context->paddedHeight; y += 16) {
        for (int32_t x = 0; x < context->paddedWidth; x += 16)
            decodeMacroblockSyntax(context, info++, x, y, &levels);
    }
    if (context->gray) return;
    ChromaLevels chroma;
    ChromaBlockInfo* block = context->chromaBlockInfo;
    for (int32_t y = 0; y < context->chromaHeight; y += 8) {
        for (int32_t x = 0; x < context->chromaWidth; x += 8)
            decodeChromaBlockSyntax(context, block++, x, y, &chroma);
    }
}

}  // namespace xqob
