// qob info [--json] FILE...: one line per file from its header, once its payload has been
// checked by decoding it.
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
nlohmann::json jsonOf(const xqob::PictureInfo& info) {
    nlohmann::json entry = {
        {"width", info.width},
        {"height", info.height},
        {"gray", info.gray},
        {"chroma", nullptr},
        {"quality", info.quality},
        {"chromaQuality", nullptr},
        {"optionalBlock", info.optionalBlock},
        {"headerBytes", info.headerBytes},
        {"payloadBytes", info.payloadBytes},
        {"bytes", fileBytes(info)},
        {"bitsPerPixel", bitsPerPixel(info)},
    };
    if (!info.gray) {
        entry["chroma"] = info.fullChroma ? "4:4:4" : "4:2:0";
        entry["chromaQuality"] = info.chromaQuality;
    }
    return entry;
}

// The header, then the payload decoded to its end (rows dropped as they finish), so that a
// cut or damaged file is not reported as a picture. Returns the failure, if any.
std::string inspect(const std::vector<uint8_t>& bytes, xqob::PictureInfo* info, bool* header) {
    if (xqob::Error failure = xqob::readInfo(bytes, *info)) return failure.message;
    *header = true;
    xqob::Image image;
    image.rowsOnly = true;
    xqob::DecodeOptions options;
    options.rows = [](const xqob::Rows&) { return true; };
    const xqob::Error failure = xqob::decodeMemory(bytes, image, options);
    // A picture beyond the decoder's pixel limit is described from its header alone.
    if (!failure || failure.code == xqob::ErrorCode::tooLarge) return "";
    if (failure.code == xqob::ErrorCode::truncated) {
        return "the payload holds fewer bytes than the " + std::to_string(info->width) + "x" +
               std::to_string(info->height) + " picture its header declares needs (" +
               failure.message + ")";
    }
    return failure.message;
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
        bool header = false;
        if (readInput(file, &bytes, &error)) error = inspect(bytes, &info, &header);
        if (!error.empty()) status = reportFileFailure(name, error);
        if (settings.json) {
            // Every input has its entry: what the header says when it was read, and the error.
            nlohmann::json entry = header ? jsonOf(info) : nlohmann::json::object();
            entry["file"] = name;
            if (!error.empty()) entry["error"] = error;
            all.push_back(entry);
        } else if (error.empty()) {
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
