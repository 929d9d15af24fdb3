// The edge pool of the fast intra prediction: every sample of modes 3 to 8 is an entry of
// a pool formed once from the block's references, found through tables built at compile time.
#pragma once

#include <cstdint>

namespace xqob {

// Whether the references that mode reads are present.
inline bool modeHasNeighbours(int32_t mode, bool top, bool left) {
    switch (mode) {
        case 0:
        case 3:
        case 7:
            return top;
        case 1:
        case 8:
            return left;
        case 4:
        case 5:
        case 6:
            return top && left;
        default:
            return true;
    }
}

// With the edge E running from the bottom-left sample up to the corner and on
// along the top (E[-j] = l[j - 1], E[0] = c, E[j] = t[j - 1]), every sample of modes 3 to 8
// is one of: an edge sample, A[j] = mean2(E[j], E[j + 1]), F[j] = mean3(E[j - 1], E[j],
// E[j + 1]), or one of the two end values where a side runs out. These are formed once into
// a pool, and each mode reads its samples from the pool through a table of indices built at
// compile time from the rules above.
template <int32_t n>
struct EdgePool {
    static constexpr int32_t e(int32_t j) { return j + n; }          // j in -n..2n
    static constexpr int32_t a(int32_t j) { return 4 * n + 1 + j; }  // j in -n..2n - 1
    static constexpr int32_t f(int32_t j) { return 7 * n + 1 + j; }  // j in 1 - n..2n - 1
    static constexpr int32_t endTop = 9 * n + 1;   // (t[2n - 2] + 3 t[2n - 1] + 2) >> 2
    static constexpr int32_t endLeft = 9 * n + 2;  // (l[n - 2] + 3 l[n - 1] + 2) >> 2
    static constexpr int32_t size = 9 * n + 3;
};

// Pool index of sample (r, k) of mode 3..8, following the reference rules one for one.
template <int32_t n>
constexpr int32_t poolIndex(int32_t mode, int32_t r, int32_t k) {
    using P = EdgePool<n>;
    switch (mode) {
        case 3:
            return r + k < 2 * n - 2 ? P::f(r + k + 2) : P::endTop;
        case 4:
            return P::f(k - r);
        case 5:
        case 6: {
            const bool vertical = mode == 5;
            const int32_t major = vertical ? k : r;
            const int32_t minor = vertical ? r : k;
            const int32_t z = 2 * major - minor;
            const int32_t j = major - (minor >> 1);
            if (z >= 0 && (z & 1) == 0) return vertical ? P::a(j) : P::a(-j - 1);
            if (z >= 0) return vertical ? P::f(j) : P::f(-j);
            if (z == -1) return P::f(0);
            const int32_t i = minor - 2 * major;
            return vertical ? P::f(1 - i) : P::f(i - 1);
        }
        case 7: {
            const int32_t j = k + (r >> 1);
            return (r & 1) == 0 ? P::a(j + 1) : P::f(j + 2);
        }
        default: {
            const int32_t z = k + 2 * r;
            const int32_t j = r + (k >> 1);
            if (z < 2 * n - 3) return (z & 1) == 0 ? P::a(-j - 2) : P::f(-j - 2);
            return z == 2 * n - 3 ? P::endLeft : P::e(-n);
        }
    }
}

template <int32_t n>
struct PoolIndices {
    uint8_t index[6][n * n];  // modes 3..8
};

template <int32_t n>
constexpr PoolIndices<n> makePoolIndices() {
    PoolIndices<n> table{};
    for (int32_t mode = 3; mode <= 8; ++mode) {
        for (int32_t r = 0; r < n; ++r) {
            for (int32_t k = 0; k < n; ++k)
                table.index[mode - 3][n * r + k] = uint8_t(poolIndex<n>(mode, r, k));
        }
    }
    return table;
}

template <int32_t n>
constexpr PoolIndices<n> kPoolIndices = makePoolIndices<n>();

// Where a row of a mode reads n consecutive pool entries (every row of modes 3, 4 and 7, the
// first two of mode 5), the pool index of its first sample, so that the row is copied whole;
// -1 where the row has to be read entry by entry.
template <int32_t n>
struct PoolRuns {
    int8_t start[6][n];
};

template <int32_t n>
constexpr PoolRuns<n> makePoolRuns() {
    PoolRuns<n> runs{};
    for (int32_t mode = 0; mode < 6; ++mode) {
        for (int32_t r = 0; r < n; ++r) {
            const uint8_t* row = kPoolIndices<n>.index[mode] + n * r;
            bool consecutive = true;
            for (int32_t k = 1; k < n; ++k) consecutive = consecutive && row[k] == row[0] + k;
            runs.start[mode][r] = consecutive ? int8_t(row[0]) : int8_t(-1);
        }
    }
    return runs;
}

template <int32_t n>
constexpr PoolRuns<n> kPoolRuns = makePoolRuns<n>();

template <int32_t n>
constexpr bool rowsAreRuns(int32_t mode) {
    for (int32_t r = 0; r < n; ++r) {
        if (kPoolRuns<n>.start[mode - 3][r] < 0) return false;
    }
    return true;
}
static_assert(rowsAreRuns<4>(3) && rowsAreRuns<4>(4) && rowsAreRuns<4>(7));
static_assert(rowsAreRuns<8>(3) && rowsAreRuns<8>(4) && rowsAreRuns<8>(7));

// The DC value of an n x n block from the sums of its n samples above and its n to the left;
// an absent side's sum is not read.
template <int32_t n>
constexpr int32_t dcFromSums(int32_t topSum, int32_t leftSum, bool top, bool left) {
    constexpr int32_t log2n = n == 4 ? 2 : 3;
    if (top && left) return (topSum + leftSum + n) >> (log2n + 1);
    if (top) return (topSum + n / 2) >> log2n;
    if (left) return (leftSum + n / 2) >> log2n;
    return 128;
}

// For the vector kernels, once the blocks are in place: the pool's entries outside its three
// blocks, E(2n) and the two ends, from the edge s (E(j) at s[j]).
template <int32_t n>
inline void setPoolSingles(const int16_t* s, int16_t* pool) {
    pool[EdgePool<n>::e(2 * n)] = s[2 * n];
    pool[EdgePool<n>::endTop] = int16_t((s[2 * n - 1] + 3 * s[2 * n] + 2) >> 2);
    pool[EdgePool<n>::endLeft] = int16_t((s[1 - n] + 3 * s[-n] + 2) >> 2);
}

// Past its first rows, every row of modes 5, 6 and 8 repeats an earlier one moved along the
// row: in mode 5 row r is row r - 2 one sample to the right, in mode 6 row r - 1 two samples
// to the right, in mode 8 row r - 1 two samples to the left. The samples moved in come from
// the pool. shift counts samples to the right.
struct RowRepeat {
    int32_t distance;  // rows back
    int32_t shift;
    int32_t firstRow;  // the first row that repeats
};

constexpr RowRepeat rowRepeat(int32_t mode) {
    return mode == 5 ? RowRepeat{2, 1, 2} : mode == 6 ? RowRepeat{1, 2, 1} : RowRepeat{1, -2, 1};
}

// Whether the repeats of mode hold for every sample of an n x n block, from poolIndex.
template <int32_t n>
constexpr bool rowsRepeat(int32_t mode) {
    const RowRepeat repeat = rowRepeat(mode);
    for (int32_t r = repeat.firstRow; r < n; ++r) {
        for (int32_t k = 0; k < n; ++k) {
            const int32_t from = k - repeat.shift;
            if (from < 0 || from >= n) continue;
            if (poolIndex<n>(mode, r, k) != poolIndex<n>(mode, r - repeat.distance, from))
                return false;
        }
    }
    return true;
}
static_assert(rowsRepeat<4>(5) && rowsRepeat<4>(6) && rowsRepeat<4>(8));
static_assert(rowsRepeat<8>(5) && rowsRepeat<8>(6) && rowsRepeat<8>(8));

// For the vector kernels, rows in registers of n 16-bit lanes. Rows is the kernel's set of
// steps: Vector, run (n consecutive pool entries), moved<shift> (lanes moved shift to the
// right, or left for a negative shift; the lanes moved in are undefined), with<lane> (one
// lane set) and store (the row widened into the prediction).
template <int32_t n, typename Rows, int32_t lane = 0>
inline typename Rows::Vector gatherRow(typename Rows::Vector row, const int16_t* pool,
                                       const uint8_t* index) {
    row = Rows::template with<lane>(row, pool[index[lane]]);
    if constexpr (lane + 1 < n) return gatherRow<n, Rows, lane + 1>(row, pool, index);
    return row;
}

template <int32_t n, typename Rows, int32_t mode>
inline void formRepeatedRows(const int16_t* pool, int32_t* out) {
    constexpr RowRepeat repeat = rowRepeat(mode);
    constexpr int32_t shift = repeat.shift;
    const uint8_t* index = kPoolIndices<n>.index[mode - 3];
    const int8_t* runs = kPoolRuns<n>.start[mode - 3];
    typename Rows::Vector rows[n];
    for (int32_t r = 0; r < repeat.firstRow; ++r) {
        rows[r] = runs[r] >= 0 ? Rows::run(pool + runs[r])
                               : gatherRow<n, Rows>(Rows::run(pool), pool, index + n * r);
    }
    for (int32_t r = repeat.firstRow; r < n; ++r) {
        const uint8_t* fresh = index + n * r;
        typename Rows::Vector row = Rows::template moved<shift>(rows[r - repeat.distance]);
        if constexpr (shift > 0) {
            row = Rows::template with<0>(row, pool[fresh[0]]);
            if constexpr (shift == 2) row = Rows::template with<1>(row, pool[fresh[1]]);
        } else {
            row = Rows::template with<n - 2>(row, pool[fresh[n - 2]]);
            row = Rows::template with<n - 1>(row, pool[fresh[n - 1]]);
        }
        rows[r] = row;
    }
    for (int32_t r = 0; r < n; ++r) Rows::store(out + n * r, rows[r]);
}

// For the vector kernels: the rows of mode 3..8 from the pool, those that read consecutive
// entries whole, those of modes 5, 6 and 8 that repeat an earlier row by moving it.
template <int32_t n, typename Rows>
inline void formPoolRows(const int16_t* pool, int32_t mode, int32_t* out) {
    if (mode == 5) return formRepeatedRows<n, Rows, 5>(pool, out);
    if (mode == 6) return formRepeatedRows<n, Rows, 6>(pool, out);
    if (mode == 8) return formRepeatedRows<n, Rows, 8>(pool, out);
    // Every row of modes 3, 4 and 7 reads consecutive entries.
    const int8_t* runs = kPoolRuns<n>.start[mode - 3];
    for (int32_t r = 0; r < n; ++r) Rows::store(out + n * r, Rows::run(pool + runs[r]));
}

}  // namespace xqob
