// Output files that are never seen half-written: the bytes go to a temporary file beside the
// target, which replaces the target only once it is complete.
#pragma once

#include <cstdio>
#include <string>

namespace qob {

// Removes every temporary output still open when SIGINT, SIGTERM or SIGHUP arrives, then dies
// of the signal; ignores SIGXFSZ, so that a write beyond the file size limit fails as an
// error (and the temporary file is removed) instead of killing the tool. Call once, early.
void installOutputCleanup();

class OutputFile {
public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();  // removes the temporary file unless commit() succeeded

    // target "-" is standard output, written directly. A target that exists and is not a
    // regular file (a device, a pipe) is written directly too: renaming over it would replace
    // it. Anything else gets a fresh temporary file in the target's folder.
    bool open(const std::string& target, std::string* error);

    std::FILE* stream() const { return stream_; }

    // Flushes and closes; renames the temporary file over the target. On failure the
    // temporary file is gone and the target untouched.
    bool commit(std::string* error);

    // Closes and removes the temporary file (no-op once committed).
    void abort();

private:
    std::string target_;
    std::string temporary_;  // empty when writing directly
    std::FILE* stream_ = nullptr;
    int slot_ = -1;  // index in the table that the signal handler walks
};

}  // namespace qob
