// qob: inspect, decode and encode QOB pictures from the command line.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <string>

#include <xqob/xqob.hpp>

#include "tools/qob/commands.h"
#include "tools/qob/output_file.h"

namespace qob {

int reportFileFailure(const std::string& file, const std::string& message) {
    std::fflush(stdout);
    std::fprintf(stderr, "qob: %s: %s\n", file.c_str(), message.c_str());
    return kExitFileFailure;
}

int reportUsage(const std::string& message, const std::string& command) {
    std::fprintf(stderr, "qob: %s\nRun 'qob %s--help' for the usage.\n", message.c_str(),
                 command.empty() ? "" : (command + " ").c_str());
    return kExitUsage;
}

namespace {

// Usage lines name the tool before the command: "qob decode [OPTIONS] ...".
class Formatter : public CLI::Formatter {
public:
    std::string make_usage(const CLI::App* app, std::string name) const override {
        if (app->get_parent() != nullptr && name.rfind("qob ", 0) != 0) name = "qob " + name;
        return CLI::Formatter::make_usage(app, name);
    }
};

struct Settings {
    InfoSettings info;
    DecodeSettings decode;
    EncodeSettings encode;
    std::string helpTopic;
};

void addInfo(CLI::App* app, InfoSettings* info) {
    CLI::App* command = app->add_subcommand(
        "info",
        "Print the size, gray or colour, chroma layout, quality, chroma quality, bytes "
        "and bits per pixel of QOB files, one line per file. The payload is decoded to check "
        "that it is complete; a file that fails is reported and the status is 1.");
    command->add_flag("--json", info->json,
                      "one JSON array with an object for every file, with \"error\" for a "
                      "file that failed");
    command->add_option("files", info->files, "QOB files; - reads standard input")
        ->required()
        ->type_name("FILE...");
}

// Refused before conversion: an unsigned conversion would take "-5" as a huge count.
const CLI::Validator kWholeNumber(
    [](std::string& text) {
        return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos
                   ? std::string()
                   : "takes a whole number, not '" + text + "'";
    },
    "N");

void addDecode(CLI::App* app, DecodeSettings* decode) {
    CLI::App* command = app->add_subcommand(
        "decode",
        "Decode QOB pictures to PNG, PPM or PGM: one picture with -o OUT, several into a folder "
        "with -d DIR (in parallel). Each output appears only once complete.");
    command->add_option("inputs", decode->inputs, "QOB files; - reads standard input")
        ->required()
        ->type_name("IN.qob...");
    command
        ->add_option("-o,--output", decode->output,
                     "output file, its extension (.png, .ppm, .pgm, .pnm) or -f choosing the "
                     "format; - writes to standard output (PNM unless -f says otherwise). PGM "
                     "writes colour pictures as gray")
        ->type_name("OUT");
    command
        ->add_option("-d,--dir", decode->folder,
                     "folder for the outputs, named after the inputs (created if missing)")
        ->type_name("DIR");
    command->add_option("-f,--format", decode->format, "png, ppm, pgm or pnm (default: png)")
        ->type_name("FORMAT");
    command
        ->add_option("-j,--jobs", decode->threads,
                     "decode N pictures at a time (default: the number of cores)")
        ->check(CLI::Range(1u, 1024u))
        ->type_name("N");
    command
        ->add_option("-t,--threads", decode->pictureThreads,
                     "threads for each picture: 1, or 2 to read the payload beside "
                     "reconstruction; 0 as many as help (default: 0 for a single picture, "
                     "else 1, -j decoding pictures side by side)")
        ->check(CLI::Range(0, 1024))
        ->type_name("N");
    command->add_flag("-v,--verbose", decode->verbose,
                      "print decode time and megapixels per second");
    command
        ->add_option("--max-pixels", decode->maxPixels,
                     "refuse pictures of more than N pixels (0: no limit)")
        ->capture_default_str()
        ->check(kWholeNumber)
        ->type_name("N");
    command
        ->add_option("--png-level", decode->pngLevel,
                     "PNG compression: 0 none, 1 fast, 9 the smallest files (slow)")
        ->capture_default_str()
        ->check(CLI::Range(0, 9))
        ->type_name("N");
}

void addEncode(CLI::App* app, EncodeSettings* encode) {
    CLI::App* command = app->add_subcommand(
        "encode",
        "Encode a PNG, binary PGM or binary PPM picture (- reads standard input) as QOB.");
    command->add_option("input", encode->input, "PNG, PGM or PPM file; - reads standard input")
        ->required()
        ->type_name("IN");
    command->add_option("-o,--output", encode->output, "QOB file; - writes to standard output")
        ->required()
        ->type_name("OUT.qob");
    command->add_option("-q,--quality", encode->options.quality, "quality 0..100")
        ->capture_default_str()
        ->check(CLI::Range(0, 100))
        ->type_name("N");
    command
        ->add_option("--chroma-quality", encode->options.chromaQuality,
                     "chroma quality 0..80 (default: follows the quality, 52 at 75)")
        ->check(CLI::Range(0, 80))
        ->type_name("N");
    command->add_flag("--gray", encode->options.gray, "store luma only");
    command->add_flag("--full-chroma", encode->options.fullChroma,
                      "store chroma at full resolution");
    command
        ->add_option("--background", encode->background,
                     "colour that transparent pixels are composited over: white, black or "
                     "#RRGGBB")
        ->capture_default_str()
        ->type_name("COLOUR");
    command->add_flag("--stats", encode->stats, "print what the encoder decided");
}

// What a missing argument means, in the tool's words rather than the parser's names.
std::string missingArgument(const std::string& command, const std::string& message) {
    const std::string suffix = " is required";
    if (message.size() <= suffix.size() ||
        message.compare(message.size() - suffix.size(), suffix.size(), suffix) != 0) {
        return message;
    }
    const std::string name = message.substr(0, message.size() - suffix.size());
    if (name == "files" || name == "inputs") return "no QOB file given (- reads standard input)";
    if (name == "input") return "no picture to encode given (- reads standard input)";
    if (name == "--output") return "no output given: add -o OUT.qob";
    return "missing " + name + " for " + command;
}

// A command line that CLI11 refuses: its message, or the help that was asked for.
int reportParseError(CLI::App& app, const CLI::ParseError& error) {
    if (error.get_exit_code() == 0) return app.exit(error);  // --help, --version
    std::string message = error.what();
    if (!message.empty() && message.back() == '\n') message.pop_back();
    std::string command;
    for (const CLI::App* sub : app.get_subcommands()) command = sub->get_name();
    if (dynamic_cast<const CLI::RequiredError*>(&error) != nullptr) {
        message = missingArgument(command, message);
    }
    return reportUsage(message, command);
}

}  // namespace

}  // namespace qob

int main(int argc, char** argv) {
    qob::installOutputCleanup();
    CLI::App app("qob: inspect, decode and encode QOB pictures.", "qob");
    app.set_version_flag("-V,--version", std::string("qob ") + xqob::versionString());
    app.require_subcommand(1);
    app.formatter(std::make_shared<qob::Formatter>());
    app.footer(
        "Run 'qob help COMMAND' or 'qob COMMAND --help' for the options of a command.\n"
        "Exit status: 0 success, 1 a file failed, 2 bad usage.");
    qob::Settings settings;
    qob::addInfo(&app, &settings.info);
    qob::addDecode(&app, &settings.decode);
    qob::addEncode(&app, &settings.encode);
    CLI::App* help = app.add_subcommand("help", "Print the help of a command.");
    help->add_option("command", settings.helpTopic)->type_name("COMMAND");

    if (argc < 2) return qob::reportUsage("no command given");
    const std::string first = argv[1];
    const std::vector<CLI::App*> commands = app.get_subcommands({});
    const auto named = [&](const std::string& name) {
        return std::find_if(commands.begin(), commands.end(),
                            [&](const CLI::App* c) { return c->get_name() == name; });
    };
    if (first[0] != '-' && named(first) == commands.end()) {
        return qob::reportUsage("unknown command '" + first + "'");
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return qob::reportParseError(app, error);
    }
    if (app.got_subcommand("info")) return qob::runInfo(settings.info);
    if (app.got_subcommand("decode")) return qob::runDecode(settings.decode);
    if (app.got_subcommand("encode")) return qob::runEncode(settings.encode);
    if (settings.helpTopic.empty()) {
        app.clear();  // else the help of "help" itself
        std::fputs(app.help().c_str(), stdout);
        return qob::kExitOk;
    }
    if (const auto command = named(settings.helpTopic); command != commands.end()) {
        std::fputs((*command)->help().c_str(), stdout);
        return qob::kExitOk;
    }
    return qob::reportUsage("no command '" + settings.helpTopic + "'");
}
