// Writing decoded pictures: PNG through libpng, binary PGM and PPM by hand.
#pragma once

#include <cstdio>
#include <string>

#include <xqob/xqob.hpp>

namespace qob {

enum class OutputFormat { png, pgm, ppm, pnm };

// The format that the extension of path names (.png, .pgm, .ppm, .pnm, any case); false
// when it names none of them.
bool formatFromExtension(const std::string& path, OutputFormat* format);

// Writes image to path (PNM for pnm: PGM or PPM by channel count). On failure returns false
// with a message in error; a partly written file is removed.
bool writeImage(const std::string& path, OutputFormat format, const xqob::Image& image,
                std::string* error);

// PGM or PPM (by channel count) to an open stream.
bool writePnm(std::FILE* out, const xqob::Image& image);

}  // namespace qob
