// The entropy decoding of a whole picture on its own: every syntax element and residual level
// read in payload order, nothing reconstructed.
#pragma once

#include <cstdint>
#include <vector>

namespace bench {

struct EntropyRun {
    bool ok = false;
    double seconds = 0;     // wall time of the pass alone (set-up excluded)
    uint64_t cycles = 0;    // time-stamp counter ticks of the same span
    int64_t bins = -1;      // bins read, when counted
    int64_t lumaBins = -1;  // of which the luma syntax (every macroblock), when counted
    int64_t pixels = 0;     // width x height of the picture
};

// countBins: run the plain decoder, which counts its bins (slower; not for timing).
EntropyRun runEntropyPass(const std::vector<uint8_t>& file, bool countBins);

}  // namespace bench
