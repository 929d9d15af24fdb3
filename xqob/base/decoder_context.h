// The state of one decode, passed by pointer to every stage.
#pragma once

#include <cstdint>

#include "xqob/base/block_records.h"
#include "xqob/base/byte_source.h"
#include "xqob/base/failure.h"

namespace xqob {

// An adaptive estimate of the probability of a 1. Between decisions total is 2..99 and
// both ones and total - ones are at least 1.
struct BitModel {
    uint32_t total;
    uint32_t ones;
    // ones * ceil(2^30 / total) * 2^17 (below 2^48), kept with the counts by updateModel, so
    // that a split takes one multiplication; the default belongs to the start state total 2,
    // ones 1.
    uint64_t scale = uint64_t{1} << 46;
};

struct ChainBlock;
// How the syntax reads its bins; the result is the same on every path.
enum class EntropyPath : int32_t {
    registers = 0,        // the decoder's registers held in locals, on any processor
    bitInstructions = 1,  // the same loops built for LZCNT and BMI2, where the processor has them
    plain = 2,            // the one-step-at-a-time decoder with a division per bin; counts bins
};

struct DspFunctions;

struct DecoderContext {
    // Geometry
    int32_t width;
    int32_t height;
    int32_t paddedWidth;  // width rounded up to a multiple of 16; stride of planeY
    int32_t paddedHeight;
    int32_t chromaWidth;  // stride of both chroma planes
    int32_t chromaHeight;
    // The chroma planes hold chromaRows rows from row chromaTop on: the whole plane, or a
    // window that the decoder slides down as the chroma loop advances.
    int32_t chromaTop;
    int32_t chromaRows;
    // The same for the luma plane: whole for a colour picture, whose chroma rows go out only
    // after the last luma row is decoded; a sliding window for a gray one.
    int32_t lumaTop;
    int32_t lumaRows;
    uint8_t* planeY;   // paddedWidth x lumaRows
    uint8_t* planeCr;  // chromaWidth x chromaHeight; null for a gray picture
    uint8_t* planeCb;
    // Header
    int32_t gray;
    int32_t fullChroma;
    int32_t lumaQuantiser;
    int32_t qualityIndex;
    int32_t chromaQuantiser;
    // Block records
    MacroblockInfo* macroblockInfo;
    ChromaBlockInfo* chromaBlockInfo;
    // Allocation chain; the error exit is the DecodeError exception caught by the driver.
    ChainBlock* chainHead;
    // Arithmetic decoder and byte input
    int32_t low;
    int32_t high;
    int32_t bitsLeft;
    int32_t fill;
    int32_t code;
    int32_t pos;
    int32_t eofCount;
    int32_t nextBit;  // the register path's first payload bit not yet loaded (see ArithState)
    uint8_t* buffer;
    ByteSource* file;
    int64_t payloadStart;     // bytes of the source consumed before the payload
    EntropyPath entropyPath;  // how the syntax reads its bins (registers when zeroed)
    int64_t plainBins;        // bins the plain decoder has read (it counts; the fast path not)
    // Context models
    BitModel* mode8x8Models;
    BitModel* flatOffsetModels;
    BitModel* mode4x4Models;
    BitModel* chromaModeModels;
    BitModel* chromaFlatOffsetModels;
    BitModel* blockTypeModels;
    BitModel* codedQuadrantModels;
    BitModel* coded4x4Models;
    BitModel* codedCrModels;
    BitModel* codedCbModels;
    BitModel* sig8x8Models;
    BitModel* last8x8Models;
    BitModel* levelFirst8x8Models;
    BitModel* levelRest8x8Models;
    BitModel* sig4x4Models;
    BitModel* last4x4Models;
    BitModel* levelFirst4x4Models;
    BitModel* levelRest4x4Models;
    BitModel* sigChromaModels;
    BitModel* lastChromaModels;
    BitModel* levelFirstChromaModels;
    BitModel* levelRestChromaModels;
    // Prediction candidates and coefficient blocks, raster order
    int32_t* lumaPred8x8[10];
    int32_t* lumaPred4x4[10];
    int32_t* crPred[9];
    int32_t* cbPred[9];
    int32_t* coeff8x8;
    int32_t* coeff4x4;
    int32_t* coeffCr;
    int32_t* coeffCb;
    // Quantiser and colour tables
    int32_t* quantMatrix8x8;
    int32_t* weightedDequant8x8;
    int32_t* crToR;
    int32_t* cbToG;
    int32_t* crToG;
    int32_t* cbToB;
    uint8_t* clampTable;
    // Dequantisation factor of every raster position, scale << qDiv, for the luma and chroma
    // quantisers (setUpDequantFactors); the pixel kernels chosen for this processor (null:
    // the reference kernels).
    int32_t lumaFactors4x4[16];
    int32_t lumaFactors8x8[64];
    int32_t chromaFactors8x8[64];
    const DspFunctions* dsp;
    // Outside the codec proper: why the decode failed, and a test hook that makes the
    // n-th chain allocation (counting from 1) fail; 0 disables it.
    DecodeFailure failure;
    int64_t failAllocationAt;
    int64_t allocationCount;
};

}  // namespace xqob
