#include "tests/support/entropy_fixture.h"

#include "xqob/base/allocation_chain.h"
#include "xqob/entropy/arith_decoder.h"
#include "xqob/entropy/context_models.h"

namespace xqob::testing {

EntropyFixture::EntropyFixture() {
    setUpModels(&writer);
    setUpModels(&reader);
}

EntropyFixture::~EntropyFixture() {
    freeChain(&writer);
    freeChain(&reader);
}

void EntropyFixture::setGeometry(int32_t paddedWidth, int32_t paddedHeight, bool fullChroma) {
    for (DecoderContext* side : {&writer, &reader}) {
        side->paddedWidth = paddedWidth;
        side->paddedHeight = paddedHeight;
        side->fullChroma = fullChroma ? 1 : 0;
        side->chromaWidth = fullChroma ? paddedWidth : paddedWidth / 2;
        side->chromaHeight = fullChroma ? paddedHeight : paddedHeight / 2;
        const int64_t macroblocks = int64_t{paddedWidth} * paddedHeight / 256;
        const int64_t chromaBlocks = int64_t{side->chromaWidth} * side->chromaHeight / 64;
        side->macroblockInfo = static_cast<MacroblockInfo*>(
            chainAllocZeroed(side, macroblocks * sizeof(MacroblockInfo)));
        side->chromaBlockInfo = static_cast<ChromaBlockInfo*>(
            chainAllocZeroed(side, chromaBlocks * sizeof(ChromaBlockInfo)));
    }
}

void EntropyFixture::put(ModelArray array, int32_t index, int32_t bin) {
    encodeBit(&encoder, (writer.*array) + index, bin);
}

void EntropyFixture::putEquiprobable(int32_t bin) {
    encodeEquiprobable(&encoder, bin);
}

void EntropyFixture::put(const std::vector<ScriptedBin>& script) {
    for (const ScriptedBin& step : script) {
        if (step.array == nullptr) {
            putEquiprobable(step.bin);
        } else {
            put(step.array, step.index, step.bin);
        }
    }
}

void EntropyFixture::startReading(const std::vector<uint8_t>& tail) {
    payload = finishBinaryEncoder(&encoder);
    payload.insert(payload.end(), tail.begin(), tail.end());
    source = memorySource(payload.data(), payload.size());
    startArithDecoder(&reader, &source);
}

bool EntropyFixture::readBack(const std::vector<ScriptedBin>& script) {
    for (const ScriptedBin& step : script) {
        const int32_t bin = step.array == nullptr
                                ? decodeEquiprobable(&reader)
                                : decodeBit(&reader, (reader.*step.array) + step.index);
        if (bin != step.bin) return false;
    }
    return true;
}

int32_t EntropyFixture::binsSeen(ModelArray array, int32_t index) const {
    return static_cast<int32_t>((reader.*array)[index].total) - 2;
}

bool EntropyFixture::modelsMatch() const {
    for (int32_t i = 0; i < kModelArrayCount; ++i) {
        const BitModel* a = *modelArrayField(const_cast<DecoderContext*>(&writer), i);
        const BitModel* b = *modelArrayField(const_cast<DecoderContext*>(&reader), i);
        for (int32_t m = 0; m < modelArraySizes[i]; ++m) {
            if (a[m].total != b[m].total || a[m].ones != b[m].ones) return false;
        }
    }
    return true;
}

int64_t EntropyFixture::totalBinsSeen() const {
    int64_t bins = 0;
    for (int32_t i = 0; i < kModelArrayCount; ++i) {
        const BitModel* models = *modelArrayField(const_cast<DecoderContext*>(&reader), i);
        for (int32_t m = 0; m < modelArraySizes[i]; ++m) bins += models[m].total - 2;
    }
    return bins;
}

}  // namespace xqob::testing
