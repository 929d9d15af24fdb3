#include <sys/stat.h>

#include <filesystem>

#include "tools/qob/input_file.h"

namespace qob {

std::string fileIdentity(const std::string& path) {
    if (path == "-") return {};
    struct stat status;
    if (stat(path.c_str(), &status) == 0) {
        return std::to_string(status.st_dev) + ":" + std::to_string(status.st_ino);
    }
    std::error_code ignored;
    return std::filesystem::weakly_canonical(std::filesystem::absolute(path, ignored), ignored)
        .string();
}

}  // namespace qob
