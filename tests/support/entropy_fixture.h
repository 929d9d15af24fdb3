// Writes bins with the binary encoder, then decodes the payload with the real arithmetic
// decoder, so that a syntax reader can be fed exactly the bins a test names and the models it
// used can be checked afterwards.
#pragma once

#include <cstdint>
#include <vector>

#include "xqob/base/decoder_context.h"
#include "xqob/coder/binary_encoder.h"

namespace xqob::testing {

// One model array of the context, named by its field.
using ModelArray = BitModel* DecoderContext::*;

// One bin of a script: array nullptr means an equiprobable bin.
struct ScriptedBin {
    ModelArray array;
    int32_t index;
    int32_t bin;
};

struct EntropyFixture {
    // Both sides start with fresh models; the reader's records are what the tests arrange.
    DecoderContext writer{};
    DecoderContext reader{};
    BinaryEncoder encoder;
    std::vector<uint8_t> payload;
    ByteSource source{};

    EntropyFixture();
    ~EntropyFixture();
    EntropyFixture(const EntropyFixture&) = delete;
    EntropyFixture& operator=(const EntropyFixture&) = delete;

    // Luma size in samples (multiples of 16); allocates zeroed records on both sides.
    void setGeometry(int32_t paddedWidth, int32_t paddedHeight, bool fullChroma = false);

    void put(ModelArray array, int32_t index, int32_t bin);
    void putEquiprobable(int32_t bin);
    void put(const std::vector<ScriptedBin>& script);

    // Finishes the payload, appends tail (bytes that follow the payload in the input) and
    // starts the reader's arithmetic decoder on it.
    void startReading(const std::vector<uint8_t>& tail = {});

    // Decodes the script's bins with the reader's models; false at the first mismatch.
    bool readBack(const std::vector<ScriptedBin>& script);

    // How many bins a reader model has taken (valid while it has not halved).
    int32_t binsSeen(ModelArray array, int32_t index) const;
    // Every model of every array equal on both sides.
    bool modelsMatch() const;
    // Bins taken by all the reader's models together (before any halving).
    int64_t totalBinsSeen() const;
};

}  // namespace xqob::testing
