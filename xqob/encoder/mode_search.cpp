#include "xqob/encoder/mode_search.h"

#include "xqob/base/plane_offset.h"

namespace xqob {

namespace {

// What each mode needs: bit 0 the top neighbours, bit 1 the left ones.
constexpr uint8_t kModeNeeds[9] = {1, 2, 0, 1, 3, 3, 3, 1, 2};

}  // namespace

Presence lumaPresence(const DecoderContext* context, int32_t x, int32_t y) {
    // The blocks above and to the left always precede this one in decoding order.
    (void)context;
    return Presence{y > 0, x > 0};
}

bool modeFormable(int32_t mode, Presence presence) {
    const int32_t needs = kModeNeeds[mode];
    return ((needs & 1) == 0 || presence.top) && ((needs & 2) == 0 || presence.left);
}

int32_t bestModes(const float* score, Presence presence, int32_t count, int32_t* modes) {
    int32_t found = 0;
    for (int32_t mode = 0; mode < 9; ++mode) {
        if (!modeFormable(mode, presence)) continue;
        // Insertion into the short sorted list.
        int32_t at = found < count ? found : count;
        while (at > 0 && score[modes[at - 1]] > score[mode]) {
            if (at < count) modes[at] = modes[at - 1];
            --at;
        }
        if (at < count) {
            modes[at] = mode;
            if (found < count) ++found;
        }
    }
    return found;
}

}  // namespace xqob
