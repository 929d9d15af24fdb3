#include "tools/qob/input_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>

#include "tools/qob/commands.h"

namespace qob {

std::string displayName(const std::string& path, bool output) {
    if (path != "-") return path;
    return output ? "standard output" : "standard input";
}

bool readInput(const std::string& path, std::vector<uint8_t>* bytes, std::string* error) {
    const bool standardInput = path == "-";
    std::FILE* file = standardInput ? stdin : std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        const int reason = errno;
        struct stat status = {};
        // Windows opens no folder as a file; say why as Linux does.
        *error = stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode)
                     ? "is a directory, not a file"
                     : std::string("cannot open: ") + std::strerror(reason);
        return false;
    }
    struct stat status = {};
    if (fstat(fileno(file), &status) != 0) status.st_mode = 0;
    if (S_ISDIR(status.st_mode)) {
        if (!standardInput) std::fclose(file);
        *error = "is a directory, not a file";
        return false;
    }
    bytes->clear();
    if (S_ISREG(status.st_mode) && status.st_size > 0) bytes->reserve(size_t(status.st_size));
    uint8_t block[65536];
    size_t got;
    while ((got = std::fread(block, 1, sizeof block, file)) > 0) {
        bytes->insert(bytes->end(), block, block + got);
    }
    const bool failed = std::ferror(file) != 0;
    if (failed) *error = std::string("cannot read: ") + std::strerror(errno);
    if (!standardInput) std::fclose(file);
    return !failed;
}

int checkOutputsDistinct(const std::string& command, const std::vector<std::string>& inputs,
                         const std::vector<std::string>& outputs) {
    std::map<std::string, const std::string*> inputByIdentity;
    for (const std::string& input : inputs) {
        if (std::string identity = fileIdentity(input); !identity.empty()) {
            inputByIdentity.emplace(std::move(identity), &input);
        }
    }
    std::map<std::string, size_t> outputByIdentity;
    for (size_t i = 0; i < outputs.size(); ++i) {
        const std::string identity = fileIdentity(outputs[i]);
        if (identity.empty()) continue;
        if (auto input = inputByIdentity.find(identity); input != inputByIdentity.end()) {
            return reportUsage(
                outputs[i] + ": is an input of this command; refusing to write over it", command);
        }
        const auto [earlier, fresh] = outputByIdentity.emplace(identity, i);
        if (!fresh) {
            return reportUsage(outputs[i] + ": both " + inputs[earlier->second] + " and " +
                                   inputs[i] +
                                   " would be written here; decode them into separate folders",
                               command);
        }
    }
    return kExitOk;
}

}  // namespace qob
