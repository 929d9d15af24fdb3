// qob info [--json] FILE...: one line per file from its header.
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include <xqob/xqob.hpp>

#include "tools/qob/commands.h"
#include "tools/qob/input_file.h"

namespace qob {

namespace {

uint64_t fileBytes(const xqob::PictureInfo& info) {
    return info.headerBytes + info.payloadBytes;
}

double bitsPerPixel(const xqob::PictureInfo& info) {
    const double pixels = double(info.width) * double(info.height);
    return pixels > 0 ? double(fileBytes(info)) * 8.0 / pixels : 0.0;
}

void printLine(const std::string& file, const xqob::PictureInfo& info) {
    std::string chroma;
    if (!info.gray) {
        chroma = std::string(info.fullChroma ? " 4:4:4" : " 4:2:0") + ", chroma quality " +
                 std::to_string(info.chromaQuality);
    }
    std::printf("%s: %dx%d %s, quality %d%s, %llu bytes, %.3f bpp\n", file.c_str(), info.width,
                info.height, info.gray ? "gray" : "colour", info.quality, chroma.c_str(),
                static_cast<unsigned long long>(fileBytes(info)), bitsPerPixel(info));
}

// Gray pictures have no chroma: "chroma" and "chromaQuality" are null for them.
nlohmann::json jsonOf(const std::string& file, const xqob::PictureInfo& info) {
    nlohmann::json entry = {
        {"file", file},
        {"width", info.width},
        {"height", info.height},
        {"gray", info.gray},
        {"chroma", nullptr},
        {"quality", info.quality},
        {"chromaQuality", nullptr},
        {"bytes", fileBytes(info)},
        {"bitsPerPixel", bitsPerPixel(info)},
    };
    if (!info.gray) {
        entry["chroma"] = info.fullChroma ? "4:4:4" : "4:2:0";
        entry["chromaQuality"] = info.chromaQuality;
    }
    return entry;
}

}  // namespace

int runInfo(const InfoSettings& settings) {
    int status = kExitOk;
    nlohmann::json all = nlohmann::json::array();
    std::vector<uint8_t> bytes;
    for (const std::string& file : settings.files) {
        const std::string name = displayName(file);
        std::string error;
        xqob::PictureInfo info;
        if (!readInput(file, &bytes, &error)) {
            status = reportFileFailure(name, error);
        } else if (xqob::Error failure = xqob::readInfo(bytes.data(), bytes.size(), &info)) {
            status = reportFileFailure(name, failure.message);
        } else if (settings.json) {
            all.push_back(jsonOf(name, info));
        } else {
            printLine(name, info);
        }
    }
    if (settings.json) {
        // A file name need not be UTF-8; its stray bytes become U+FFFD.
        const std::string text = all.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
        std::printf("%s\n", text.c_str());
    }
    return status;
}

}  // namespace qob
