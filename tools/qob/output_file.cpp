#include "tools/qob/output_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace qob {

namespace {

// The temporary files being written, for the signal handler. A slot holds the c_str() of an
// OutputFile's temporary name from creation to rename or removal; it is cleared before the
// string changes. One slot per concurrent output (at most one per decode thread).
constexpr int kSlots = 1024;
std::atomic<const char*> gTemporaries[kSlots];

// The mode of new files, 0666 less the umask, read once before any thread starts.
mode_t gFileMode = 0644;

int claimSlot(const char* path) {
    for (int i = 0; i < kSlots; ++i) {
        const char* expected = nullptr;
        if (gTemporaries[i].compare_exchange_strong(expected, path)) return i;
    }
    return -1;
}

void removeTemporariesAndDie(int signal) {
    // Only async-signal-safe calls here: unlink, signal, raise.
    for (std::atomic<const char*>& slot : gTemporaries) {
        if (const char* path = slot.load()) unlink(path);
    }
    ::signal(signal, SIG_DFL);
    raise(signal);
}

std::string errorText(int error) {
    return std::strerror(error != 0 ? error : EIO);
}

}  // namespace

void installOutputCleanup() {
    const mode_t mask = umask(0);
    umask(mask);
    gFileMode = 0666 & ~mask;
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        // A signal that the shell told us to ignore (a background job's SIGINT) stays ignored.
        struct sigaction previous = {};
        if (sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
        struct sigaction action = {};
        action.sa_handler = removeTemporariesAndDie;
        sigemptyset(&action.sa_mask);
        sigaction(signal, &action, nullptr);
    }
    ::signal(SIGXFSZ, SIG_IGN);
}

OutputFile::~OutputFile() {
    abort();
}

bool OutputFile::open(const std::string& target, std::string* error) {
    target_ = target;
    if (target == "-") {
        stream_ = stdout;
        return true;
    }
    struct stat status;
    if (stat(target.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
        if (S_ISDIR(status.st_mode)) {
            *error = "is a directory";
            return false;
        }
        stream_ = std::fopen(target.c_str(), "wb");
        if (stream_ == nullptr) *error = "cannot write: " + errorText(errno);
        return stream_ != nullptr;
    }
    const std::filesystem::path path(target);
    const std::filesystem::path folder = path.parent_path();
    // A hidden name beside the target, so that the rename stays within one file system.
    std::string pattern = folder.empty() ? std::string() : folder.string() + "/";
    pattern += '.';
    pattern += path.filename().string();
    pattern += ".XXXXXX";
    const int descriptor = mkostemp(pattern.data(), O_CLOEXEC);
    if (descriptor < 0) {
        *error = "cannot write: " + errorText(errno);
        return false;
    }
    temporary_ = std::move(pattern);
    slot_ = claimSlot(temporary_.c_str());
    fchmod(descriptor, gFileMode);
    stream_ = fdopen(descriptor, "wb");
    if (stream_ == nullptr) {
        *error = "cannot write: " + errorText(errno);
        close(descriptor);
        abort();
        return false;
    }
    return true;
}

bool OutputFile::commit(std::string* error) {
    if (stream_ == nullptr) {
        *error = "cannot write: the output is not open";
        return false;
    }
    std::FILE* stream = stream_;
    stream_ = nullptr;
    errno = 0;
    bool written = std::fflush(stream) == 0 && std::ferror(stream) == 0;
    int failure = errno;
    if (stream != stdout) {
        if (std::fclose(stream) != 0 && written) {
            written = false;
            failure = errno;
        }
    }
    if (written && !temporary_.empty() && std::rename(temporary_.c_str(), target_.c_str()) != 0) {
        written = false;
        failure = errno;
    }
    if (!written) {
        *error = "cannot write: " + errorText(failure);
        abort();
        return false;
    }
    if (slot_ >= 0) gTemporaries[slot_].store(nullptr);
    slot_ = -1;
    temporary_.clear();
    return true;
}

void OutputFile::abort() {
    if (stream_ != nullptr && stream_ != stdout) std::fclose(stream_);
    stream_ = nullptr;
    if (!temporary_.empty()) unlink(temporary_.c_str());
    if (slot_ >= 0) gTemporaries[slot_].store(nullptr);
    slot_ = -1;
    temporary_.clear();
}

}  // namespace qob
