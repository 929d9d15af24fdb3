#include "xqob/coder/residual_writer.h"

namespace xqob {

namespace {

// |level| without signed overflow for the most negative value.
uint32_t magnitudeOf(int32_t level) {
    const uint32_t bits = static_cast<uint32_t>(level);
    return level < 0 ? 0u - bits : bits;
}

int32_t lastSignificant(const ResidualKind& kind, const int32_t* coefficients) {
    for (int32_t pos = kind.size - 1; pos >= 0; --pos) {
        if (coefficients[kind.scan[pos]] != 0) return pos;
    }
    return -1;
}

void writeSignificanceMap(BinaryEncoder* encoder, const ResidualKind& kind,
                          const int32_t* coefficients, int32_t lastPos) {
    // A last position of size - 1 needs no last bin of 1: the map runs to its end.
    for (int32_t pos = 0; pos <= lastPos && pos < kind.size - 1; ++pos) {
        const int32_t significant = coefficients[kind.scan[pos]] != 0 ? 1 : 0;
        encodeBit(encoder, kind.sigModels + kind.sigMap[pos], significant);
        if (significant) {
            BitModel* last = kind.lastModels + kind.lastMap[pos];
            encodeBit(encoder, last, pos == lastPos ? 1 : 0);
        }
    }
}

void writeMagnitude(BinaryEncoder* encoder, const ResidualKind& kind, int32_t level,
                    BitModel* first, BitModel* rest) {
    encodeBit(encoder, first, level > 1 ? 1 : 0);
    if (level == 1) return;
    int32_t reached = 1;
    for (;;) {
        ++reached;
        if (reached >= kind.cap) {
            // The decoder ignores this bin's value: write the one the model finds likelier.
            encodeBit(encoder, rest, 2 * rest->ones > rest->total ? 1 : 0);
            return;
        }
        const int32_t more = level > reached ? 1 : 0;
        encodeBit(encoder, rest, more);
        if (!more) return;
    }
}

}  // namespace

bool residualWritable(const ResidualKind& kind, const int32_t* coefficients) {
    bool any = false;
    for (int32_t i = 0; i < kind.size; ++i) {
        if (magnitudeOf(coefficients[i]) > static_cast<uint32_t>(kind.cap)) return false;
        any = any || coefficients[i] != 0;
    }
    return any;
}

bool writeResidual(BinaryEncoder* encoder, const ResidualKind& kind, const int32_t* coefficients) {
    if (!residualWritable(kind, coefficients)) return false;
    const int32_t lastPos = lastSignificant(kind, coefficients);
    writeSignificanceMap(encoder, kind, coefficients, lastPos);
    int32_t eq1Count = 0;
    int32_t gt1Count = 0;
    for (int32_t pos = lastPos; pos >= 0; --pos) {
        const int32_t value = coefficients[kind.scan[pos]];
        if (value == 0) continue;
        const int32_t level = static_cast<int32_t>(magnitudeOf(value));
        encodeEquiprobable(encoder, value < 0 ? 1 : 0);
        writeMagnitude(encoder, kind, level,
                       kind.levelFirstModels + levelFirstIndex(eq1Count, gt1Count),
                       kind.levelRestModels + gt1Count);
        countLevel(level, &eq1Count, &gt1Count);
    }
    return true;
}

}  // namespace xqob
