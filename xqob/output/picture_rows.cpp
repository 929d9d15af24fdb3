#include "xqob/output/picture_rows.h"

#include <cstring>

#include "xqob/base/allocation_chain.h"
#include "xqob/base/plane_offset.h"
#include "xqob/dsp/dsp.h"
#include "xqob/output/colour.h"

namespace xqob {

namespace {

const DspFunctions& kernels(const DecoderContext* context) {
    return context->dsp != nullptr ? *context->dsp : referenceDsp;
}

size_t rowBytes(const DecoderContext* context) {
    return size_t(context->width) * (context->gray ? 1 : 3);
}

// The two chroma rows that output row r of a half-resolution picture blends: the nearest one
// and the one across the row's centre; the first and last rows (of the height rounded up to
// even) use the nearest one twice.
void chromaRowsFor(int32_t r, int32_t evenHeight, int32_t* nearRow, int32_t* farRow) {
    const int32_t c = r / 2;
    int32_t n = (r & 1) ? c + 1 : c - 1;
    if (r == 0 || r == evenHeight - 1) n = c;
    *nearRow = c;
    *farRow = n;
}

// One row of colour from co-sited samples, three bytes a pixel or four.
void convertColour(const DspFunctions& dsp, const uint8_t* luma, const uint8_t* cb,
                   const uint8_t* cr, uint8_t* out, int32_t width, RowLayout layout) {
    if (layout == RowLayout::own) {
        dsp.convertRow(luma, cb, cr, out, width);
    } else {
        dsp.convertRowQuad(luma, cb, cr, out, width, layout == RowLayout::bgra);
    }
}

// Output row r into out, laid out as layout.
void formRow(DecoderContext* context, RowOutput* output, int32_t r, uint8_t* out,
             RowLayout layout) {
    const uint8_t* luma = context->planeY + lumaOffset(context, 0, r);
    if (context->gray) {
        std::memcpy(out, luma, size_t(context->width));
        return;
    }
    const size_t chromaStride = size_t(context->chromaWidth);
    if (context->fullChroma) {
        const size_t row = size_t(r - context->chromaTop) * chromaStride;
        convertColour(kernels(context), luma, context->planeCb + row, context->planeCr + row, out,
                      context->width, layout);
        return;
    }
    const int32_t evenWidth = context->width + (context->width & 1);
    const int32_t evenHeight = context->height + (context->height & 1);
    // Even a picture one or two pixels wide blends two chroma columns.
    const int32_t m = evenWidth / 2 < 2 ? 2 : evenWidth / 2;
    int32_t nearRow, farRow;
    chromaRowsFor(r, evenHeight, &nearRow, &farRow);
    uint8_t* cb = output->upsampled;
    uint8_t* cr = output->upsampled + context->paddedWidth;
    const DspFunctions& dsp = kernels(context);
    const size_t nearOffset = size_t(nearRow - context->chromaTop) * chromaStride;
    const size_t farOffset = size_t(farRow - context->chromaTop) * chromaStride;
    dsp.upsampleRow(context->planeCb + nearOffset, context->planeCb + farOffset, cb, m);
    dsp.upsampleRow(context->planeCr + nearOffset, context->planeCr + farOffset, cr, m);
    convertColour(dsp, luma, cb, cr, out, context->width, layout);
}

// The last chroma row that output row r reads.
int32_t lastChromaRow(const DecoderContext* context, int32_t r) {
    if (context->gray) return -1;
    if (context->fullChroma) return r;
    int32_t nearRow, farRow;
    chromaRowsFor(r, context->height + (context->height & 1), &nearRow, &farRow);
    return nearRow > farRow ? nearRow : farRow;
}

}  // namespace

void setUpRowOutput(DecoderContext* context, RowOutput* output) {
    if (context->width == 0 || context->height == 0) return;
    if (output->pixels == nullptr && output->sink != nullptr) {
        output->scratch = chainAllocArray<uint8_t>(context, rowBytes(context));
    }
    // Two upsampled rows of up to paddedWidth samples each (2m <= paddedWidth).
    if (!context->gray && !context->fullChroma) {
        output->upsampled = chainAllocArray<uint8_t>(context, 2 * uint64_t(context->paddedWidth));
    }
}

void deliverRows(DecoderContext* context, RowOutput* output, int32_t lumaFinal,
                 int32_t chromaFinal) {
    if (context->width == 0) return;  // an empty picture has nothing to hand out
    // Nowhere to put rows: a decode for its own sake (tests, checks).
    if (output->pixels == nullptr && output->sink == nullptr && output->provide == nullptr) return;
    const int32_t end = lumaFinal < context->height ? lumaFinal : context->height;
    const size_t bytes = rowBytes(context);
    for (; output->next < end; ++output->next) {
        const int32_t r = output->next;
        if (lastChromaRow(context, r) >= chromaFinal) return;
        if (output->pixels == nullptr && output->sink == nullptr) {
            output->pixels = output->provide(output->provideOpaque);
            if (output->pixels == nullptr) {
                failDecode(context, FailureReason::outOfMemory,
                           int64_t(bytes) * int64_t(context->height));
            }
        }
        if (output->pixels != nullptr) {
            formRow(context, output, r, output->pixels + size_t(r) * bytes, RowLayout::own);
            continue;
        }
        uint8_t* at = output->place != nullptr ? output->place(output->opaque, r) : nullptr;
        if (at == nullptr) {
            formRow(context, output, r, output->scratch, RowLayout::own);
            at = output->scratch;
        } else {
            formRow(context, output, r, at, output->placeLayout);
        }
        if (!output->sink(output->opaque, r, at)) {
            failDecode(context, FailureReason::stoppedByCaller, r);
        }
    }
}

void convertPicture(DecoderContext* context, uint8_t* out) {
    if (context->width <= 0 || context->height <= 0) return;
    RowOutput output;
    output.pixels = out;
    if (!context->fullChroma) {
        output.upsampled = chainAllocArray<uint8_t>(context, 2 * uint64_t(context->paddedWidth));
    }
    deliverRows(context, &output, context->height, context->chromaHeight);
}

}  // namespace xqob
