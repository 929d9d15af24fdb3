// Running the qob binary from the tests, as a user would from a shell.
#pragma once

#include <string>
#include <vector>

namespace xqob::test {

struct ToolRun {
    int status;  // the exit status, or 128 + the signal that ended the shell's command
    std::string out;
    std::string err;
};

// text in single quotes for /bin/sh.
std::string quoted(const std::string& text);

// Runs a /bin/sh command line with standard output and error captured.
ToolRun runShell(const std::string& command);

// Runs "qob ARGUMENTS" (arguments already quoted for the shell).
ToolRun runQob(const std::string& arguments);

// The quoted path of the qob binary, for command lines with pipes.
std::string qobCommand();

// A new, empty folder in the tests' temporary folder.
std::string freshFolder(const std::string& name);

// The names in folder, sorted.
std::vector<std::string> folderEntries(const std::string& folder);

}  // namespace xqob::test
