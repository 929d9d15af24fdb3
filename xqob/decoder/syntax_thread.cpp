#include "xqob/decoder/syntax_thread.h"

#include <algorithm>
#include <system_error>

#include "xqob/decoder/allocation_chain.h"
#include "xqob/entropy/block_syntax.h"
#include "xqob/recon/plane_loops.h"

namespace xqob {

namespace {

// Enough for the syntax to run ahead through a row of costly blocks while reconstruction
// works through a cheap one, and still far below a picture of levels.
constexpr int32_t kRingRows = 4;

void decodeSyntaxRow(SyntaxThread* s, int32_t row, uint8_t* slot) {
    DecoderContext* context = &s->syntax;
    if (row < s->lumaRows) {
        decodeLumaRowSyntax(context, 16 * row, reinterpret_cast<MacroblockLevels*>(slot));
    } else {
        decodeChromaRowSyntax(context, 8 * (row - s->lumaRows),
                              reinterpret_cast<ChromaLevels*>(slot));
    }
}

void runSyntax(SyntaxThread* s) {
    for (int32_t row = 0; row < s->totalRows; ++row) {
        {
            std::unique_lock<std::mutex> hold(s->lock);
            s->changed.wait(hold, [&] { return s->stopping || row - s->consumed < s->slots; });
            if (s->stopping) return;
        }
        try {
            decodeSyntaxRow(s, row, s->ring + uint64_t(row % s->slots) * s->slotBytes);
        } catch (const DecodeError&) {
            std::lock_guard<std::mutex> hold(s->lock);
            s->failed = true;
            s->changed.notify_all();
            return;
        }
        std::lock_guard<std::mutex> hold(s->lock);
        s->published = row + 1;
        s->changed.notify_all();
    }
}

}  // namespace

bool startSyntaxThread(DecoderContext* context, SyntaxThread* s) {
    s->lumaRows = context->paddedHeight / 16;
    const int32_t chromaRows = context->gray ? 0 : context->chromaHeight / 8;
    s->totalRows = s->lumaRows + chromaRows;
    const uint64_t lumaBytes = uint64_t(context->paddedWidth / 16) * sizeof(MacroblockLevels);
    const uint64_t chromaBytes = uint64_t(context->chromaWidth / 8) * sizeof(ChromaLevels);
    s->slotBytes = std::max(lumaBytes, context->gray ? 0 : chromaBytes);
    s->slots = std::max(1, std::min(kRingRows, s->totalRows));
    s->ring = static_cast<uint8_t*>(
        chainAlloc(context, checkedSize(context, s->slotBytes, uint64_t(s->slots))));
    // The copy is taken after the last allocation: the syntax side never allocates.
    s->syntax = *context;
    try {
        s->thread = std::thread(runSyntax, s);
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

const void* acquireSyntaxRow(DecoderContext* context, SyntaxThread* s, int32_t row) {
    std::unique_lock<std::mutex> hold(s->lock);
    s->changed.wait(hold, [&] { return s->published > row || s->failed; });
    if (s->published <= row) {
        context->failure = s->syntax.failure;
        hold.unlock();
        failDecode(context);
    }
    return s->ring + uint64_t(row % s->slots) * s->slotBytes;
}

void releaseSyntaxRow(SyntaxThread* s, int32_t row) {
    std::lock_guard<std::mutex> hold(s->lock);
    s->consumed = row + 1;
    s->changed.notify_all();
}

void stopSyntaxThread(SyntaxThread* s) {
    if (!s->thread.joinable()) return;
    {
        std::lock_guard<std::mutex> hold(s->lock);
        s->stopping = true;
        s->changed.notify_all();
    }
    s->thread.join();
}

}  // namespace xqob
