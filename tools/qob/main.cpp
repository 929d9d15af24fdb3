// qob: the command-line tool around the QOB encoder.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <xqob/xqob.hpp>

#include "tools/qob/commands.h"

namespace qob {

namespace {

struct Command {
    const char* name;
    int (*run)(int argc, char** argv);
};

constexpr Command kCommands[] = {
    {"info", runInfo},
    {"decode", runDecode},
    {"encode", runEncode},
};

const char* usageOf(const std::string& name) {
    if (name == "info") return kInfoUsage;
    if (name == "decode") return kDecodeUsage;
    return kEncodeUsage;
}

}  // namespace

int reportFileFailure(const std::string& file, const std::string& message) {
    std::fprintf(stderr, "qob: %s: %s\n", file.c_str(), message.c_str());
    return kExitFileFailure;
}

int reportUsage(const std::string& message) {
    std::fprintf(stderr, "qob: %s\n", message.c_str());
    printUsage(stderr);
    return kExitUsage;
}

const char* const kEncodeUsage =
    "usage: qob encode IN -o OUT.qob [-q N] [--chroma-quality N] [--gray] [--full-chroma]\n"
    "                  [--stats]\n"
    "  IN is a PNG, binary PGM or binary PPM picture.\n"
    "  -q N                quality 0..100 (default 75)\n"
    "  --chroma-quality N  chroma quality 0..80 (default: follows -q, 52 at 75)\n"
    "  --gray              store luma only\n"
    "  --full-chroma       store chroma at full resolution\n"
    "  --stats             print what the encoder decided\n";

void printUsage(std::FILE* out) {
    std::fputs(
        "usage: qob COMMAND [OPTIONS] FILE...\n"
        "commands:\n"
        "  info FILE...                 size, colour, quality and bit rate of QOB files\n"
        "  decode IN.qob -o OUT         decode to PNG, PPM or PGM (-d DIR for several)\n"
        "  encode IN -o OUT.qob         encode a PNG, PPM or PGM picture\n"
        "Run 'qob COMMAND --help' for the options of a command; 'qob --version' for the\n"
        "version.\n",
        out);
}

bool parseInteger(const std::string& option, const char* text, int low, int high, int* value) {
    char* end = nullptr;
    errno = 0;
    const long parsed = text[0] == '\0' ? 0 : std::strtol(text, &end, 10);
    if (text[0] == '\0' || *end != '\0' || errno != 0 || parsed < low || parsed > high) {
        reportUsage(option + " takes a whole number " + std::to_string(low) + ".." +
                    std::to_string(high) + ", not '" + text + "'");
        return false;
    }
    *value = int(parsed);
    return true;
}

}  // namespace qob

int main(int argc, char** argv) {
    if (argc < 2) return qob::reportUsage("no command given");
    const std::string name = argv[1];
    if (name == "-h" || name == "--help" || name == "help") {
        qob::printUsage(stdout);
        return qob::kExitOk;
    }
    if (name == "--version" || name == "-V") {
        std::printf("qob %s\n", xqob::versionString());
        return qob::kExitOk;
    }
    for (const qob::Command& command : qob::kCommands) {
        if (name != command.name) continue;
        for (int i = 2; i < argc; ++i) {
            const std::string argument = argv[i];
            if (argument == "--help" || argument == "-h") {
                std::fputs(qob::usageOf(name), stdout);
                return qob::kExitOk;
            }
        }
        return command.run(argc - 2, argv + 2);
    }
    return qob::reportUsage("unknown command '" + name + "'");
}
