// Reading the inputs of the qob tool: each file exactly once, "-" for standard input, and the
// checks that keep a command from writing over its own inputs or outputs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qob {

// The name of an input or output in messages: "standard input" or "standard output" for "-".
std::string displayName(const std::string& path, bool output = false);

// The whole content of path ("-": standard input), read in one pass, so that pipes and
// /dev/stdin work. false with a message (no file name in it) when it cannot be read.
bool readInput(const std::string& path, std::vector<uint8_t>* bytes, std::string* error);

// A key that is equal for two paths naming the same file: the device and inode of an existing
// file (on Windows its volume and file index), else the canonical path. Empty for "-".
// file_identity.cpp; windows/file_identity_windows.cpp
std::string fileIdentity(const std::string& path);

// Refuses (on standard error, with kExitUsage) outputs that would overwrite an input or one
// another: outputs[i] is written from inputs[i]. Returns kExitOk when all are distinct.
int checkOutputsDistinct(const std::string& command, const std::vector<std::string>& inputs,
                         const std::vector<std::string>& outputs);

}  // namespace qob
