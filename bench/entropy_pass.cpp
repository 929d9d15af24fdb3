#include "bench/entropy_pass.h"

#include <x86intrin.h>

#include <chrono>

#include "xqob/base/allocation_chain.h"
#include "xqob/decoder/decode_picture.h"
#include "xqob/entropy/arith_decoder.h"
#include "xqob/entropy/block_syntax.h"
#include "xqob/entropy/context_models.h"
#include "xqob/format/header.h"

namespace bench {

namespace {

double secondsNow() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

EntropyRun runEntropyPass(const std::vector<uint8_t>& file, bool countBins) {
    EntropyRun run;
    xqob::DecoderContext context{};
    xqob::ByteSource source = xqob::memorySource(file.data(), file.size());
    try {
        xqob::PictureHeader header;
        if (xqob::readPictureHeader(&source, &header, &context.failure) != 0) return run;
        context.width = header.width;
        context.height = header.height;
        context.gray = header.gray;
        context.fullChroma = header.fullChroma;
        context.lumaQuantiser = header.lumaQuantiser;
        context.qualityIndex = header.qualityIndex;
        context.chromaQuantiser = header.chromaQuantiser;
        run.pixels = int64_t(header.width) * header.height;
        context.entropyPath = countBins ? xqob::EntropyPath::plain : xqob::bestEntropyPath();
        xqob::setUpGeometry(&context);
        xqob::allocateWorkspace(&context);
        xqob::setUpModels(&context);
        xqob::startArithDecoder(&context, &source);
        const double start = secondsNow();
        const uint64_t startTicks = __rdtsc();
        if (countBins) {
            // The luma syntax of the whole picture comes first in the payload.
            xqob::MacroblockLevels levels;
            xqob::MacroblockInfo* info = context.macroblockInfo;
            for (int32_t y = 0; y < context.paddedHeight; y += 16) {
                for (int32_t x = 0; x < context.paddedWidth; x += 16)
                    xqob::decodeMacroblockSyntax(&context, info++, x, y, &levels);
            }
            run.lumaBins = context.plainBins;
            xqob::ChromaLevels chroma;
            xqob::ChromaBlockInfo* block = context.chromaBlockInfo;
            for (int32_t y = 0; !context.gray && y < context.chromaHeight; y += 8) {
                for (int32_t x = 0; x < context.chromaWidth; x += 8)
                    xqob::decodeChromaBlockSyntax(&context, block++, x, y, &chroma);
            }
        } else {
            xqob::decodePictureSyntax(&context);
        }
        run.cycles = __rdtsc() - startTicks;
        run.seconds = secondsNow() - start;
        run.bins = countBins ? context.plainBins : -1;
        run.ok = true;
    } catch (const xqob::DecodeError&) {
    }
    xqob::freeChain(&context);
    return run;
}

}  // namespace bench
