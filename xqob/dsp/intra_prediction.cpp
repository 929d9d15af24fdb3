#include "xqob/dsp/intra_prediction.h"

#include "xqob/dsp/intra_pool.h"

namespace xqob {

namespace {

// Rounded means of 8-bit samples; the operands are never negative.
inline int32_t mean3(int32_t a, int32_t b, int32_t d) {
    return (a + 2 * b + d + 2) >> 2;
}
inline int32_t mean2(int32_t a, int32_t b) {
    return (a + b + 1) >> 1;
}

// 9-10-9 over 28, rounded; every operand is an 8-bit sample, so the quotient is the floor.
inline int32_t smooth3(int32_t a, int32_t b, int32_t d) {
    return (9 * a + 10 * b + 9 * d + 14) / 28;
}

template <int32_t n>
void fill(int32_t value, int32_t* out) {
    for (int32_t i = 0; i < n * n; ++i) out[i] = value;
}

template <int32_t n>
int32_t dcValue(const int32_t* t, const int32_t* l, bool top, bool left) {
    int32_t topSum = 0;
    int32_t leftSum = 0;
    if (top) {
        for (int32_t i = 0; i < n; ++i) topSum += t[i];
    }
    if (left) {
        for (int32_t i = 0; i < n; ++i) leftSum += l[i];
    }
    return dcFromSums<n>(topSum, leftSum, top, left);
}

// Modes 4, 5 and 6. t and l may be indexed at -1, where both hold the corner.
template <int32_t n>
void predictDiagonalRight(const int32_t* t, const int32_t* l, int32_t mode, int32_t* out) {
    const int32_t c = t[-1];
    for (int32_t r = 0; r < n; ++r) {
        for (int32_t k = 0; k < n; ++k) {
            int32_t v;
            if (mode == 4) {
                if (k > r) {
                    v = mean3(t[k - r - 2], t[k - r - 1], t[k - r]);
                } else if (k < r) {
                    v = mean3(l[r - k - 2], l[r - k - 1], l[r - k]);
                } else {
                    v = mean3(t[0], c, l[0]);
                }
            } else {
                // Mode 6 is mode 5 with the roles of rows and columns, top and left swapped.
                const bool vertical = mode == 5;
                const int32_t major = vertical ? k : r;
                const int32_t minor = vertical ? r : k;
                const int32_t* along = vertical ? t : l;
                const int32_t* across = vertical ? l : t;
                const int32_t z = 2 * major - minor;
                const int32_t j = major - (minor >> 1);
                if (z >= 0 && (z & 1) == 0) {
                    v = mean2(along[j - 1], along[j]);
                } else if (z >= 0) {
                    v = mean3(along[j - 2], along[j - 1], along[j]);
                } else if (z == -1) {
                    v = mean3(l[0], c, t[0]);
                } else {
                    const int32_t i = minor - 2 * major;
                    v = mean3(across[i - 1], across[i - 2], across[i - 3]);
                }
            }
            out[n * r + k] = v;
        }
    }
}

template <int32_t n>
void predictDownLeft(const int32_t* t, int32_t* out) {
    for (int32_t r = 0; r < n; ++r) {
        for (int32_t k = 0; k < n; ++k) {
            // The bottom-right sample (i = 2n - 2) has no t[2n]: it weights t[2n - 1] three.
            const int32_t i = r + k;
            out[n * r + k] = i < 2 * n - 2 ? mean3(t[i], t[i + 1], t[i + 2])
                                           : (t[2 * n - 2] + 3 * t[2 * n - 1] + 2) >> 2;
        }
    }
}

template <int32_t n>
void predictVerticalLeft(const int32_t* t, int32_t* out) {
    for (int32_t r = 0; r < n; ++r) {
        for (int32_t k = 0; k < n; ++k) {
            const int32_t j = k + (r >> 1);
            out[n * r + k] = (r & 1) == 0 ? mean2(t[j], t[j + 1]) : mean3(t[j], t[j + 1], t[j + 2]);
        }
    }
}

template <int32_t n>
void predictHorizontalUp(const int32_t* l, int32_t* out) {
    constexpr int32_t last = 2 * n - 3;
    for (int32_t r = 0; r < n; ++r) {
        for (int32_t k = 0; k < n; ++k) {
            const int32_t z = k + 2 * r;
            const int32_t j = r + (k >> 1);
            int32_t v;
            if (z < last) {
                v = (z & 1) == 0 ? mean2(l[j], l[j + 1]) : mean3(l[j], l[j + 1], l[j + 2]);
            } else if (z == last) {
                v = (l[n - 2] + 3 * l[n - 1] + 2) >> 2;
            } else {
                v = l[n - 1];
            }
            out[n * r + k] = v;
        }
    }
}

template <int32_t n>
bool formPrediction(const int32_t* t, const int32_t* l, int32_t c, bool top, bool left,
                    int32_t mode, int32_t* out) {
    if (!modeHasNeighbours(mode, top, left)) return false;
    // Element 0 of each is the corner, so that t[-1] and l[-1] both read it. Only present
    // references are copied; the rules of a mode read only the sides it needs.
    int32_t above[2 * n + 1];
    int32_t beside[n + 1];
    above[0] = c;
    beside[0] = c;
    if (top) {
        for (int32_t i = 0; i < 2 * n; ++i) above[i + 1] = t[i];
    }
    if (left) {
        for (int32_t i = 0; i < n; ++i) beside[i + 1] = l[i];
    }
    const int32_t* ta = above + 1;
    const int32_t* la = beside + 1;
    switch (mode) {
        case 0:
            for (int32_t r = 0; r < n; ++r) {
                for (int32_t k = 0; k < n; ++k) out[n * r + k] = ta[k];
            }
            break;
        case 1:
            for (int32_t r = 0; r < n; ++r) {
                for (int32_t k = 0; k < n; ++k) out[n * r + k] = la[r];
            }
            break;
        case 3:
            predictDownLeft<n>(ta, out);
            break;
        case 4:
        case 5:
        case 6:
            predictDiagonalRight<n>(ta, la, mode, out);
            break;
        case 7:
            predictVerticalLeft<n>(ta, out);
            break;
        case 8:
            predictHorizontalUp<n>(la, out);
            break;
        default:
            fill<n>(dcValue<n>(ta, la, top, left), out);
            break;
    }
    return true;
}

// The fast form: modes 3 to 8 through the edge pool.
template <int32_t n>
bool formPredictionFast(const int32_t* t, const int32_t* l, int32_t c, bool top, bool left,
                        int32_t mode, int32_t* out) {
    if (!modeHasNeighbours(mode, top, left)) return false;
    // Modes 0 to 2 read the references where they are, without the reference's copies.
    if (mode == 0) {
        for (int32_t r = 0; r < n; ++r) {
            for (int32_t k = 0; k < n; ++k) out[n * r + k] = t[k];
        }
        return true;
    }
    if (mode == 1) {
        for (int32_t r = 0; r < n; ++r) {
            for (int32_t k = 0; k < n; ++k) out[n * r + k] = l[r];
        }
        return true;
    }
    if (mode == 2) {
        fill<n>(dcValue<n>(t, l, top, left), out);
        return true;
    }
    using P = EdgePool<n>;
    // Only present sides are read, as in the reference; an absent side stays 0 and no rule
    // of this mode reads it. With both sides present every entry is written below but one
    // between the two means, which no rule reads either.
    int32_t pool[P::size];
    if (!top || !left) {
        for (int32_t& entry : pool) entry = 0;
    }
    pool[P::a(2 * n - 1) + 1] = 0;
    int32_t* edge = pool + P::e(0);
    edge[0] = c;
    if (top) {
        for (int32_t i = 0; i < 2 * n; ++i) edge[i + 1] = t[i];
        pool[P::endTop] = (t[2 * n - 2] + 3 * t[2 * n - 1] + 2) >> 2;
    }
    if (left) {
        for (int32_t i = 0; i < n; ++i) edge[-i - 1] = l[i];
        pool[P::endLeft] = (l[n - 2] + 3 * l[n - 1] + 2) >> 2;
    }
    for (int32_t j = -n; j < 2 * n; ++j) pool[P::a(j)] = mean2(edge[j], edge[j + 1]);
    for (int32_t j = 1 - n; j < 2 * n; ++j)
        pool[P::f(j)] = mean3(edge[j - 1], edge[j], edge[j + 1]);
    const uint8_t* index = kPoolIndices<n>.index[mode - 3];
    const int8_t* runs = kPoolRuns<n>.start[mode - 3];
    for (int32_t r = 0; r < n; ++r) {
        int32_t* row = out + n * r;
        if (runs[r] >= 0) {
            for (int32_t k = 0; k < n; ++k) row[k] = pool[runs[r] + k];
        } else {
            for (int32_t k = 0; k < n; ++k) row[k] = pool[index[n * r + k]];
        }
    }
    return true;
}

}  // namespace

bool formIntraPredictionReference(int32_t n, const int32_t* t, const int32_t* l, int32_t c,
                                  bool top, bool left, int32_t mode, int32_t* out) {
    if (n == 4) return formPrediction<4>(t, l, c, top, left, mode, out);
    return formPrediction<8>(t, l, c, top, left, mode, out);
}

bool formIntraPrediction(int32_t n, const int32_t* t, const int32_t* l, int32_t c, bool top,
                         bool left, int32_t mode, int32_t* out) {
    if (n == 4) return formPredictionFast<4>(t, l, c, top, left, mode, out);
    return formPredictionFast<8>(t, l, c, top, left, mode, out);
}

void smoothLumaReferences(const int32_t* t, const int32_t* l, int32_t c, bool top, bool left,
                          int32_t* ts, int32_t* ls, int32_t* cs) {
    // Each smoothed sample comes from the raw ones; an end without an outer neighbour
    // weights its own sample 3.
    if (top) {
        ts[0] = left ? (c + 2 * t[0] + t[1] + 2) >> 2 : (3 * t[0] + t[1] + 2) >> 2;
        for (int32_t i = 1; i < 15; ++i) ts[i] = (t[i - 1] + 2 * t[i] + t[i + 1] + 2) >> 2;
        ts[15] = (t[14] + 3 * t[15] + 2) >> 2;
    }
    if (left) {
        ls[0] = top ? (c + 2 * l[0] + l[1] + 2) >> 2 : (3 * l[0] + l[1] + 2) >> 2;
        for (int32_t j = 1; j < 7; ++j) ls[j] = (l[j - 1] + 2 * l[j] + l[j + 1] + 2) >> 2;
        ls[7] = (l[6] + 3 * l[7] + 2) >> 2;
    }
    *cs = top && left ? (l[0] + 2 * c + t[0] + 2) >> 2 : c;
}

void smoothChromaReferences(const int32_t* t, const int32_t* l, int32_t c, bool top, bool left,
                            int32_t* ts, int32_t* ls, int32_t* cs) {
    // Each smoothed sample comes from the raw ones; an end without an outer neighbour lets
    // its own sample stand in for it (weights 19 and 9).
    if (top) {
        ts[0] = smooth3(left ? c : t[0], t[0], t[1]);
        for (int32_t i = 1; i < 15; ++i) ts[i] = smooth3(t[i - 1], t[i], t[i + 1]);
        ts[15] = smooth3(t[14], t[15], t[15]);
    }
    if (left) {
        ls[0] = smooth3(top ? c : l[0], l[0], l[1]);
        for (int32_t j = 1; j < 7; ++j) ls[j] = smooth3(l[j - 1], l[j], l[j + 1]);
        ls[7] = smooth3(l[6], l[7], l[7]);
    }
    *cs = top && left ? smooth3(l[0], c, t[0]) : c;
}

}  // namespace xqob
