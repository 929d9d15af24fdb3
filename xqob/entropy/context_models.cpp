#include "xqob/entropy/context_models.h"

#include "xqob/base/allocation_chain.h"

namespace xqob {

const int32_t modelArraySizes[kModelArrayCount] = {32, 32, 32, 32, 64, 13, 4, 4,  4,  4, 63,
                                                   63, 5,  5,  15, 15, 5,  5, 63, 63, 5, 5};

BitModel** modelArrayField(DecoderContext* context, int32_t i) {
    BitModel** fields[kModelArrayCount] = {
        &context->mode8x8Models,          &context->flatOffsetModels,
        &context->mode4x4Models,          &context->chromaModeModels,
        &context->chromaFlatOffsetModels, &context->blockTypeModels,
        &context->codedQuadrantModels,    &context->coded4x4Models,
        &context->codedCrModels,          &context->codedCbModels,
        &context->sig8x8Models,           &context->last8x8Models,
        &context->levelFirst8x8Models,    &context->levelRest8x8Models,
        &context->sig4x4Models,           &context->last4x4Models,
        &context->levelFirst4x4Models,    &context->levelRest4x4Models,
        &context->sigChromaModels,        &context->lastChromaModels,
        &context->levelFirstChromaModels, &context->levelRestChromaModels,
    };
    return fields[i];
}

void setUpModels(DecoderContext* context) {
    for (int32_t i = 0; i < kModelArrayCount; ++i) {
        BitModel* models = chainAllocArray<BitModel>(context, modelArraySizes[i]);
        for (int32_t m = 0; m < modelArraySizes[i]; ++m) models[m] = BitModel{2, 1};
        *modelArrayField(context, i) = models;
    }
}

}  // namespace xqob
