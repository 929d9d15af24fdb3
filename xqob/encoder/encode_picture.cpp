#include "xqob/encoder/encode_picture.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>

#include "xqob/base/allocation_chain.h"
#include "xqob/decoder/decode_picture.h"
#include "xqob/encoder/chroma_decisions.h"
#include "xqob/encoder/encoder_state.h"
#include "xqob/encoder/header_writer.h"
#include "xqob/encoder/luma_decisions.h"
#include "xqob/entropy/context_models.h"
#include "xqob/output/colour.h"
#include "xqob/output/deblock.h"
#include "xqob/recon/quantiser.h"
#include "xqob/recon/working_buffers.h"

namespace xqob {

namespace {

// Lambda is this factor times the square of the quantiser's step for an orthonormal
// coefficient, 0.625 * 2^(Q / 12) at quantiser index Q.
constexpr float kLambdaFactor = 0.11f;
// Rounding offset of the quantiser: below one half, so that values between levels fall
// toward zero, which is the cheaper side; the trailing-level pruning does the rest.
constexpr float kRounding = 0.42f;
// How many quantiser steps finer chroma is than luma by default.
constexpr int32_t kChromaQuantiserOffset = -8;

float quantiserStep(int32_t quantiser) {
    return 0.625f * std::exp2(float(quantiser) / 12.0f);
}

std::string rangeMessage(const char* what, int32_t value, int32_t low, int32_t high) {
    return std::string(what) + " " + std::to_string(value) + " out of range " +
           std::to_string(low) + ".." + std::to_string(high);
}

std::string checkArguments(const SourceImage& image, const EncoderOptions& options) {
    if (options.quality < 0 || options.quality > 100) {
        return rangeMessage("quality", options.quality, 0, 100);
    }
    if (options.chromaQuality && (*options.chromaQuality < 0 || *options.chromaQuality > 80)) {
        return rangeMessage("chroma quality", *options.chromaQuality, 0, 80);
    }
    if (image.width < 0 || image.width > 65535) return rangeMessage("width", image.width, 0, 65535);
    if (image.height < 0 || image.height > 65535) {
        return rangeMessage("height", image.height, 0, 65535);
    }
    if (image.channels != 1 && image.channels != 3) {
        return "a picture has 1 or 3 channels, not " + std::to_string(image.channels);
    }
    if (image.pixels == nullptr && image.width > 0 && image.height > 0) return "no pixels given";
    return "";
}

void setUpState(EncoderState* state, const SourceImage& image, const EncoderOptions& options) {
    DecoderContext* context = &state->context;
    context->width = image.width;
    context->height = image.height;
    context->gray = options.gray || image.channels == 1 ? 1 : 0;
    context->fullChroma = options.fullChroma ? 1 : 0;
    context->qualityIndex = 100 - options.quality;
    context->lumaQuantiser = qualityTable[context->qualityIndex];
    context->chromaQuantiser =
        80 - (options.chromaQuality ? *options.chromaQuality : chromaQualityFor(options.quality));
    setUpQuantiser(context);
    setUpGeometry(context);
    allocateWorkspace(context);
    setUpModels(context);
    allocateWorkingBuffers(context);
    prepareSourcePlanes(image, context->gray != 0, options.fullChroma, context->paddedWidth,
                        context->paddedHeight, &state->source);
    setUpTransformBasis(&state->basis);
    setUpQuantiserSteps(context, &state->steps);
    const float lumaStep = quantiserStep(context->lumaQuantiser);
    const float chromaStep = quantiserStep(context->chromaQuantiser);
    state->lambdaLuma = kLambdaFactor * lumaStep * lumaStep;
    state->lambdaChroma = kLambdaFactor * chromaStep * chromaStep;
    state->satdLambdaLuma = std::sqrt(state->lambdaLuma);
    state->satdLambdaChroma = std::sqrt(state->lambdaChroma);
    state->rounding = kRounding;
    state->randomDecisions = options.randomSeed != 0;
    state->random = options.randomSeed;
}

PictureHeader headerOf(const DecoderContext* context) {
    PictureHeader header;
    header.width = context->width;
    header.height = context->height;
    header.gray = context->gray;
    header.fullChroma = context->fullChroma;
    header.lumaQuantiser = context->lumaQuantiser;
    header.qualityIndex = context->qualityIndex;
    header.chromaQuantiser = context->chromaQuantiser;
    return header;
}

// What the decoder does after its plane loops: deblocking, then the output rows.
void predictOutput(DecoderContext* context, std::vector<uint8_t>* pixels) {
    deblockPicture(context);
    const size_t width = size_t(context->width);
    pixels->assign(size_t(context->height) * width * (context->gray ? 1 : 3), 0);
    if (pixels->empty()) return;
    if (context->gray) {
        for (int32_t r = 0; r < context->height; ++r) {
            std::memcpy(pixels->data() + size_t(r) * width,
                        context->planeY + size_t(r) * size_t(context->paddedWidth), width);
        }
        return;
    }
    setUpColourTables(context);
    convertPicture(context, pixels->data());
}

void runEncode(EncoderState* state, const SourceImage& image, const EncoderOptions& options,
               EncodedPicture* output, bool wantPredicted) {
    setUpState(state, image, options);
    DecoderContext* context = &state->context;
    EncodeStatistics* statistics = &state->statistics;
    const int64_t start = encodedBitCount(&state->coder);
    encodeLumaPlane(state);
    const int64_t afterLuma = encodedBitCount(&state->coder);
    if (!context->gray) encodeChromaPlane(state);
    statistics->lumaBits = afterLuma - start;
    statistics->chromaBits = encodedBitCount(&state->coder) - afterLuma;
    const std::vector<uint8_t>& payload = finishBinaryEncoder(&state->coder);
    output->file.clear();
    const PictureHeader header = headerOf(context);
    appendHeader(header, options.headerBlock ? &*options.headerBlock : nullptr, &output->file);
    statistics->headerBytes = int64_t(output->file.size());
    statistics->payloadBytes = int64_t(payload.size());
    output->file.insert(output->file.end(), payload.begin(), payload.end());
    output->predicted.clear();
    if (wantPredicted) predictOutput(context, &output->predicted);
    output->statistics = *statistics;
}

}  // namespace

int32_t chromaQualityFor(int32_t quality) {
    const int32_t quantiser =
        qualityTable[100 - std::clamp(quality, 0, 100)] + kChromaQuantiserOffset;
    return 80 - std::clamp(quantiser, 0, 80);
}

bool encodePicture(const SourceImage& image, const EncoderOptions& options, EncodedPicture* output,
                   bool wantPredicted, std::string* error) {
    std::string message = checkArguments(image, options);
    if (message.empty()) {
        std::unique_ptr<EncoderState> state;
        try {
            state = std::make_unique<EncoderState>();
            runEncode(state.get(), image, options, output, wantPredicted);
        } catch (const DecodeError&) {
            message = "out of memory";
        } catch (const std::bad_alloc&) {
            message = "out of memory";
        }
        if (state) freeChain(&state->context);
    }
    if (message.empty()) return true;
    if (error != nullptr) *error = message;
    return false;
}

}  // namespace xqob
