// The commands of the qob tool and the conventions they share.
#pragma once

#include <cstdio>
#include <string>

namespace qob {

// Exit statuses.
constexpr int kExitOk = 0;
constexpr int kExitFileFailure = 1;  // a file could not be read, understood or written
constexpr int kExitUsage = 2;        // bad command line

// "qob: FILE: MESSAGE" on standard error; returns kExitFileFailure.
int reportFileFailure(const std::string& file, const std::string& message);

// "qob: MESSAGE" and the usage on standard error; returns kExitUsage.
int reportUsage(const std::string& message);

void printUsage(std::FILE* out);

// Parses a whole decimal argument of option into low..high; reports bad usage otherwise.
bool parseInteger(const std::string& option, const char* text, int low, int high, int* value);

// argv[0] is the first argument after the command name.
int runEncode(int argc, char** argv);
int runInfo(int argc, char** argv);
int runDecode(int argc, char** argv);

// The usage of each command, printed by "qob COMMAND --help".
extern const char* const kEncodeUsage;
extern const char* const kInfoUsage;
extern const char* const kDecodeUsage;

}  // namespace qob
