// Where the rows of a C interface decode go: converted to the wanted format as each one is
// final, straight to its place in the caller's buffer or in one allocated at the first row,
// and handed to the row callback in groups as the groups complete.
#pragma once

#include <cstddef>
#include <cstdint>

#include <xqob/xqob.h>
#include "xqob/format/header.h"
#include "xqob/output/picture_rows.h"

namespace xqob {

// Rows go to the row callback in groups of one macroblock row, the last group shorter.
constexpr int32_t kRowsPerCall = 16;

struct DecodeTarget {
    xqob_image image{};              // format resolved, stride set, pixels: the caller's or null
    int32_t channels = 0;            // of the decoder's rows: 1 or 3
    size_t required = 0;             // bytes the destination must hold
    uint8_t* destination = nullptr;  // where rows land, from the first row on
    uint8_t* allocated = nullptr;    // destination when the library allocated it
    bool band = false;               // rows_only: destination holds kRowsPerCall rows, reused
    xqob_row_callback callback = nullptr;
    void* callbackOpaque = nullptr;
    int32_t pending = 0;  // the first row not yet handed to the callback
    // Why placeRow refused a row, stopping the decode: XQOB_ERROR_ABORTED by the callback
    // (at row stoppedAt, the first of its group) or XQOB_ERROR_OUT_OF_MEMORY for the output.
    xqob_status stopped = XQOB_OK;
    int32_t stoppedAt = 0;
};

// Resolves the format and checks the stride and the caller's buffer against the picture.
xqob_status planTarget(const PictureHeader& header, DecodeTarget* target, xqob_error* error);

// The decoder's row sink: row `row` of packed gray or R, G, B pixels into its place.
bool placeRow(void* opaque, int32_t row, const uint8_t* pixels);
// Whether the decoder can form the rows in their place in the destination, so that
// placeRow has nothing to convert, and in which layout: gray, or RGB, RGBA or BGRA from a
// colour picture.
bool rowsFitInPlace(const DecodeTarget& target, RowLayout* layout);
// Where the decoder may form row `row` (rowsFitInPlace), or null when the destination cannot
// be had (placeRow then reports it).
uint8_t* rowInPlace(void* opaque, int32_t row);

// Reports why placeRow stopped the decode.
xqob_status reportStop(const DecodeTarget& target, xqob_error* error);

}  // namespace xqob
