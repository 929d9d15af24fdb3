#include "xqob/decoder/syntax_thread.h"

#include <algorithm>
#include <exception>

#include "xqob/base/allocation_chain.h"
#include "xqob/entropy/block_syntax.h"
#include "xqob/recon/plane_loops.h"

namespace xqob {

#if XQOB_SYNTAX_THREAD
namespace {

// Enough for the syntax to run ahead through rows of costly blocks while reconstruction
// works through cheap ones, and still far below a picture of levels. A side that has to
// wait sleeps until half the ring has turned over, not just one row: every sleep and wake
// costs the scheduler's latency, which on a busy machine exceeds a row's work.
constexpr int32_t kRingRows = 8;
constexpr int32_t kWakeRows = kRingRows / 2;

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
            if (!s->stopping && row - s->consumed >= s->slots) {
                s->syntaxAwaits = row - s->slots + std::min(kWakeRows, s->slots);
                s->syntaxWakes.wait(hold,
                                    [&] { return s->stopping || s->consumed >= s->syntaxAwaits; });
                s->syntaxAwaits = 0;
            }
            if (s->stopping) return;
        }
        try {
            decodeSyntaxRow(s, row, s->ring + uint64_t(row % s->slots) * s->slotBytes);
        } catch (const DecodeError&) {
            std::lock_guard<std::mutex> hold(s->lock);
            s->failed = true;
            s->reconWakes.notify_one();
            return;
        }
        std::lock_guard<std::mutex> hold(s->lock);
        s->published = row + 1;
        if (s->reconAwaits > 0 && s->published >= s->reconAwaits) s->reconWakes.notify_one();
    }
}

}  // namespace

bool startSyntaxThread(DecoderContext* context, SyntaxThread* s) {
    s->lumaRows = context->paddedHeight / 16;
    const int32_t chromaRows = context->gray ? 0 : context->chromaHeight / 8;
    s->totalRows = s->lumaRows + chromaRows;
    if (s->totalRows == 0) return false;  // an empty picture: nothing to run beside
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
    } catch (const std::exception&) {  // no thread to be had, or no memory for its start
        return false;
    }
    return true;
}

const void* acquireSyntaxRow(DecoderContext* context, SyntaxThread* s, int32_t row) {
    std::unique_lock<std::mutex> hold(s->lock);
    if (s->published <= row && !s->failed) {
        s->reconAwaits = std::min(row + kWakeRows, s->totalRows);
        s->reconWakes.wait(hold, [&] { return s->published >= s->reconAwaits || s->failed; });
        s->reconAwaits = 0;
    }
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
    if (s->syntaxAwaits > 0 && s->consumed >= s->syntaxAwaits) s->syntaxWakes.notify_one();
}

void stopSyntaxThread(SyntaxThread* s) {
    if (!s->thread.joinable()) return;
    {
        std::lock_guard<std::mutex> hold(s->lock);
        s->stopping = true;
        s->syntaxWakes.notify_one();
    }
    s->thread.join();
}

#else

bool startSyntaxThread(DecoderContext*, SyntaxThread*) {
    return false;
}

const void* acquireSyntaxRow(DecoderContext*, SyntaxThread*, int32_t) {
    return nullptr;
}

void releaseSyntaxRow(SyntaxThread*, int32_t) {}

void stopSyntaxThread(SyntaxThread*) {}

#endif

}  // namespace xqob
