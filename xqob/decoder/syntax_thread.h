// A second thread that reads the syntax of macroblock rows (then chroma rows) ahead of the
// thread that reconstructs, deblocks and delivers them. The syntax never reads a
// reconstructed sample, so the two meet only at a ring of a few rows of levels; the block
// records stay in the picture's record arrays, complete for a row before it is handed over.
#pragma once

#include <cstdint>

// MinGW-w64's win32 thread model, with which the Windows plug-ins are built, has no
// std::thread. The plug-in never asks for a second thread; there a decode stays on one.
#if defined(_WIN32) && !defined(_GLIBCXX_HAS_GTHREADS)
#define XQOB_SYNTAX_THREAD 0
#else
#define XQOB_SYNTAX_THREAD 1
#include <condition_variable>
#include <mutex>
#include <thread>
#endif

#include "xqob/base/decoder_context.h"

namespace xqob {

struct SyntaxThread {
    // The syntax side's own copy of the context: the arithmetic decoder's state and its
    // failure belong to it alone; the records and models it points to are written only by it.
    DecoderContext syntax;
    uint8_t* ring;  // slots rows of levels, slotBytes each
    uint64_t slotBytes;
    int32_t slots;
    int32_t lumaRows;  // rows 0..lumaRows-1 are macroblock rows, the rest chroma block rows
    int32_t totalRows;
#if XQOB_SYNTAX_THREAD
    std::mutex lock;
    std::condition_variable syntaxWakes;  // the syntax side sleeps on this, the other on
    std::condition_variable reconWakes;   // this, each woken only once it can go on
    int32_t published = 0;                // rows whose records and levels are complete
    int32_t consumed = 0;                 // rows the reconstruction is done with
    int32_t syntaxAwaits = 0;  // while asleep: the consumed count that wakes the syntax side
    int32_t reconAwaits = 0;   // while asleep: the published count that wakes the other
    bool failed = false;       // the syntax failed at row published; its reason is in syntax
    bool stopping = false;     // the reconstruction side failed or finished
    std::thread thread;
#endif
};

// Allocates the ring from the chain and starts the thread on a copy of context, whose
// arithmetic decoder must be started. Returns false, with nothing started, when the system
// has no thread to give or the picture has no rows: the caller then decodes on its own.
bool startSyntaxThread(DecoderContext* context, SyntaxThread* syntax);

// The levels of row `row` (in the order above), waiting for them. When the syntax failed
// before the row, takes the error exit with the same failure as a decode on one thread.
const void* acquireSyntaxRow(DecoderContext* context, SyntaxThread* syntax, int32_t row);

// The reconstruction is done with row `row` and its slot can be reused.
void releaseSyntaxRow(SyntaxThread* syntax, int32_t row);

// Stops the thread wherever it is (after its current row) and waits for it. Safe to call
// when it was never started or has finished.
void stopSyntaxThread(SyntaxThread* syntax);

}  // namespace xqob
