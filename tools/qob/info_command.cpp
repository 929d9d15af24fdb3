// qob info [--json] FILE...: one line per file from its header.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <xqob/xqob.hpp>

#include "tools/qob/commands.h"

namespace qob {

const char* const kInfoUsage =
    "usage: qob info [--json] FILE...\n"
    "Prints, for each QOB file, its size, gray or colour, chroma layout, quality, chroma\n"
    "quality, bytes and bits per pixel, one line per file.\n"
    "  --json   one JSON array of objects instead\n";

namespace {

double bitsPerPixel(const xqob::PictureInfo& info) {
    const double pixels = double(info.width) * double(info.height);
    return pixels > 0 ? double(info.headerBytes + info.payloadBytes) * 8.0 / pixels : 0.0;
}

const char* layout(const xqob::PictureInfo& info) {
    if (info.gray) return "none";
    return info.fullChroma ? "4:4:4" : "4:2:0";
}

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += char(c);
        }
    }
    return out + "\"";
}

void printLine(const std::string& file, const xqob::PictureInfo& info) {
    std::printf("%s: %dx%d %s, chroma %s, quality %d, chroma quality %d, %llu bytes, %.3f bpp\n",
                file.c_str(), info.width, info.height, info.gray ? "gray" : "colour", layout(info),
                info.quality, info.chromaQuality,
                static_cast<unsigned long long>(info.headerBytes + info.payloadBytes),
                bitsPerPixel(info));
}

void printJson(const std::string& file, const xqob::PictureInfo& info, bool first) {
    std::printf(
        "%s  {\"file\": %s, \"width\": %d, \"height\": %d, \"gray\": %s, "
        "\"chroma\": \"%s\", \"quality\": %d, \"chromaQuality\": %d, \"bytes\": %llu, "
        "\"bitsPerPixel\": %.4f}",
        first ? "" : ",\n", jsonString(file).c_str(), info.width, info.height,
        info.gray ? "true" : "false", layout(info), info.quality, info.chromaQuality,
        static_cast<unsigned long long>(info.headerBytes + info.payloadBytes), bitsPerPixel(info));
}

}  // namespace

int runInfo(int argc, char** argv) {
    bool json = false;
    std::vector<std::string> files;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--json") == 0) {
            json = true;
        } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kInfoUsage, stdout);
            return 0;
        } else if (argv[i][0] == '-' && argv[i][1] != '\0') {
            std::fprintf(stderr, "qob info: unknown option %s\n%s", argv[i], kInfoUsage);
            return 2;
        } else {
            files.push_back(argv[i]);
        }
    }
    if (files.empty()) {
        std::fputs(kInfoUsage, stderr);
        return 2;
    }
    int status = 0;
    bool first = true;
    if (json) std::printf("[\n");
    for (const std::string& file : files) {
        xqob::PictureInfo info;
        if (xqob::Error error = xqob::readInfo(file, &info)) {
            std::fflush(stdout);
            std::fprintf(stderr, "qob: %s: %s\n", file.c_str(), error.message.c_str());
            status = 1;
            continue;
        }
        if (json) {
            printJson(file, info, first);
            first = false;
        } else {
            printLine(file, info);
        }
    }
    if (json) std::printf("%s]\n", first ? "" : "\n");
    return status;
}

}  // namespace qob
