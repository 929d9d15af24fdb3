// Time per call of every pixel kernel at every level this processor runs, the levels
// interleaved run by run so that a noisy machine affects them alike.
#include "bench/bench_kernels.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <random>
#include <vector>

#include "xqob/dsp/dsp.h"
#include "xqob/output/deblock.h"

namespace xqob {

namespace {

struct KernelInputs {
    int32_t levels[64], factors[64], prediction[64];
    uint8_t plane[32 * 32];
    std::vector<uint8_t> luma, cb, cr, rgb;
    IntraEdge edge;
    int32_t mode = 0;  // the intra kernels take the nine modes in turn
};

using Call = std::function<void(const DspFunctions&, KernelInputs*)>;

struct Kernel {
    const char* name;
    int32_t repeat;  // calls per timing
    Call call;
};

double nanosecondsPerCall(const Kernel& kernel, const DspFunctions& dsp, KernelInputs* in) {
    const auto start = std::chrono::steady_clock::now();
    for (int32_t i = 0; i < kernel.repeat; ++i) kernel.call(dsp, in);
    const std::chrono::duration<double, std::nano> spent = std::chrono::steady_clock::now() - start;
    return spent.count() / kernel.repeat;
}

}  // namespace

int runKernelBench(int32_t runs) {
    std::mt19937 random(5);
    KernelInputs in;
    for (int32_t i = 0; i < 64; ++i) {
        in.levels[i] = random() % 4 == 0 ? int32_t(random() % 21) - 10 : 0;
        in.factors[i] = int32_t(18 + random() % 40) << 4;
        in.prediction[i] = int32_t(random() % 256);
    }
    for (uint8_t& s : in.plane) s = uint8_t(100 + random() % 12);
    in.edge = IntraEdge{};
    for (uint8_t& s : in.edge.above) s = uint8_t(random());
    for (uint8_t& s : in.edge.left) s = uint8_t(random());
    in.edge.corner = uint8_t(random());
    in.edge.hasTop = true;
    in.edge.hasLeft = true;
    constexpr int32_t kWidth = 1920;
    in.luma.resize(kWidth);
    in.cb.resize(kWidth);
    in.cr.resize(kWidth);
    in.rgb.resize(3 * kWidth);
    for (int32_t i = 0; i < kWidth; ++i) {
        in.luma[i] = uint8_t(random());
        in.cb[i] = uint8_t(random());
        in.cr[i] = uint8_t(random());
    }
    const Kernel kernels[] = {
        {"reconstruct4x4", 200000,
         [](const DspFunctions& d, KernelInputs* k) {
             d.reconstruct4x4(k->levels, k->factors, k->prediction, k->plane + 4, 32);
         }},
        {"reconstruct8x8", 100000,
         [](const DspFunctions& d, KernelInputs* k) {
             d.reconstruct8x8(k->levels, k->factors, k->prediction, k->plane + 4, 32);
         }},
        {"putPrediction8x8", 200000,
         [](const DspFunctions& d, KernelInputs* k) {
             d.putPrediction8x8(k->prediction, k->plane + 4, 32);
         }},
        {"predictIntra8x8 (9 modes)", 100000,
         [](const DspFunctions& d, KernelInputs* k) {
             d.predictIntra8x8(&k->edge, k->mode, false, k->prediction);
             k->mode = k->mode == 8 ? 0 : k->mode + 1;
         }},
        {"predictIntra4x4 (9 modes)", 100000,
         [](const DspFunctions& d, KernelInputs* k) {
             d.predictIntra4x4(&k->edge, k->mode, k->prediction);
             k->mode = k->mode == 8 ? 0 : k->mode + 1;
         }},
        {"convertRow (1920 px)", 2000,
         [](const DspFunctions& d, KernelInputs* k) {
             d.convertRow(k->luma.data(), k->cb.data(), k->cr.data(), k->rgb.data(), kWidth);
         }},
        {"upsampleRow (1920 px)", 4000,
         [](const DspFunctions& d, KernelInputs* k) {
             d.upsampleRow(k->cb.data(), k->cr.data(), k->rgb.data(), kWidth / 2);
         }},
        {"filterLumaSegment |", 100000,
         [](const DspFunctions& d, KernelInputs* k) {
             d.filterLumaSegment(k->plane + 8 * 32 + 12, 32, 1, lumaDeblockTable[45]);
         }},
        {"filterLumaSegment -", 100000,
         [](const DspFunctions& d, KernelInputs* k) {
             d.filterLumaSegment(k->plane + 12 * 32 + 8, 1, 32, lumaDeblockTable[45]);
         }},
        {"filterChromaSegment |", 100000,
         [](const DspFunctions& d, KernelInputs* k) {
             d.filterChromaSegment(k->plane + 8 * 32 + 12, 32, 1, chromaDeblockTable[35]);
         }},
    };
    std::vector<DspLevel> levels = {DspLevel::reference};
    for (DspLevel level : {DspLevel::sse2, DspLevel::avx2}) {
        if (dspFunctions(level) != nullptr) levels.push_back(level);
    }
    const char* names[] = {"reference", "sse2", "avx2"};
    std::printf("Kernels, ns per call (median of %d interleaved runs):\n", runs);
    std::printf("  %-24s", "kernel");
    for (DspLevel level : levels) std::printf(" %10s", names[int(level)]);
    std::printf("\n");
    for (const Kernel& kernel : kernels) {
        std::vector<std::vector<double>> times(levels.size());
        for (int32_t run = 0; run < runs; ++run) {
            for (size_t l = 0; l < levels.size(); ++l) {
                times[l].push_back(nanosecondsPerCall(kernel, *dspFunctions(levels[l]), &in));
            }
        }
        std::printf("  %-24s", kernel.name);
        for (std::vector<double>& t : times) {
            std::sort(t.begin(), t.end());
            std::printf(" %10.1f", t[t.size() / 2]);
        }
        std::printf("\n");
    }
    return 0;
}

}  // namespace xqob
