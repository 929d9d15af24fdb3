// The commands of the qob tool, their settings, and the conventions they share.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <xqob/xqob.hpp>

#include "tools/qob/image_write.h"
#include "xqob/encoder/encode_picture.h"

namespace qob {

// Exit statuses.
constexpr int kExitOk = 0;
constexpr int kExitFileFailure = 1;  // a file could not be read, understood or written
constexpr int kExitUsage = 2;        // bad command line

// "qob: FILE: MESSAGE" on standard error; returns kExitFileFailure.
int reportFileFailure(const std::string& file, const std::string& message);

// "qob: MESSAGE" and where to find the usage of command (or of qob), on standard error;
// returns kExitUsage.
int reportUsage(const std::string& message, const std::string& command = "");

struct InfoSettings {
    std::vector<std::string> files;
    bool json = false;
};

struct DecodeSettings {
    std::vector<std::string> inputs;
    std::string output;  // -o, "-" for standard output
    std::string folder;  // -d
    std::string format;  // -f, empty when not given
    unsigned threads = 0;
    int pictureThreads = -1;  // -t; -1 when not given
    bool verbose = false;
    uint64_t maxPixels = xqob::kDefaultMaxPixels;
    int pngLevel = kDefaultPngLevel;
};

struct EncodeSettings {
    std::string input;
    std::string output;
    xqob::EncoderOptions options;
    std::string background = "white";
    bool stats = false;
};

int runInfo(const InfoSettings& settings);
int runDecode(const DecodeSettings& settings);
int runEncode(const EncodeSettings& settings);

}  // namespace qob
