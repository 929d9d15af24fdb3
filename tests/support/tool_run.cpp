#include "tests/support/tool_run.h"

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "tests/support/qob_files.h"

namespace xqob::test {

std::string quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

ToolRun runShell(const std::string& command) {
    const std::string out = writeTempFile("run.out", {});
    const std::string err = writeTempFile("run.err", {});
    const std::string line = "(" + command + ") >" + quoted(out) + " 2>" + quoted(err);
    const int status = std::system(line.c_str());
    const std::vector<uint8_t> outBytes = readFileBytes(out);
    const std::vector<uint8_t> errBytes = readFileBytes(err);
    return ToolRun{WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status),
                   std::string(outBytes.begin(), outBytes.end()),
                   std::string(errBytes.begin(), errBytes.end())};
}

std::string qobCommand() {
#ifdef QOB_TOOL_PATH
    return quoted(QOB_TOOL_PATH);
#else
    return "false";
#endif
}

ToolRun runQob(const std::string& arguments) {
    return runShell(qobCommand() + " " + arguments);
}

std::string freshFolder(const std::string& name) {
    const std::filesystem::path folder =
        std::filesystem::path(writeTempFile(".folder-anchor", {})).parent_path() / name;
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder.string();
}

std::vector<std::string> folderEntries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace xqob::test
