// Building QOB files byte by byte for the tests, and the files and descriptors they leave.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace xqob::test {

struct HeaderFields {
    int width = 16;
    int height = 16;
    bool gray = false;
    int qualityIndex = 25;
    bool fullChroma = false;
    int chromaQuantiser = 30;
    int flags = 0;  // bit 0 adds the 10-byte optional block
};

// The 14- or 24-byte header for fields.
std::vector<uint8_t> headerBytes(const HeaderFields& fields);

// A header followed by payload.
std::vector<uint8_t> qobFile(const HeaderFields& fields, const std::vector<uint8_t>& payload);

// A fresh file of the given bytes in a per-process temporary folder; returns its path.
std::string writeTempFile(const std::string& name, const std::vector<uint8_t>& bytes);

// A path in the source tree, such as "samples" or "xqob/base". Relative __FILE__ names are
// relative to the build folder, which holds bin/ and the test executables in it.
std::string sourcePath(const std::string& relative);

// The bytes of a file (empty when it cannot be read).
std::vector<uint8_t> readFileBytes(const std::string& path);

// The number of file descriptors this process has open.
int openDescriptorCount();

}  // namespace xqob::test
