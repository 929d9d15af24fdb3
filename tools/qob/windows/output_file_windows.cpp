// Windows: outputs that are never seen half-written. The bytes go to a hidden temporary file
// beside the target, which replaces the target (MoveFileEx) only once it is complete. Ctrl+C,
// Ctrl+Break and closing the console delete the temporary files still open; each is opened
// with FILE_SHARE_DELETE, so that it goes away as the process ends.
#define WIN32_LEAN_AND_MEAN
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "tools/qob/output_file.h"

namespace qob {

namespace {

constexpr int kSlots = 1024;
std::atomic<const char*> gTemporaries[kSlots];
std::atomic<uint32_t> gCounter{0};

int claimSlot(const char* path) {
    for (int i = 0; i < kSlots; ++i) {
        const char* expected = nullptr;
        if (gTemporaries[i].compare_exchange_strong(expected, path)) return i;
    }
    return -1;
}

BOOL WINAPI removeTemporaries(DWORD) {
    for (std::atomic<const char*>& slot : gTemporaries) {
        if (const char* path = slot.load()) DeleteFileA(path);
    }
    return FALSE;  // the next handler, the system's, ends the process
}

// The C runtime's number for the common system errors, so that messages read as on Linux.
int errnoOf(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
            return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_WRITE_PROTECT:
            return EACCES;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_NOT_SAME_DEVICE:
            return EXDEV;
        default:
            return EIO;
    }
}

std::string errorText(int error) {
    return std::strerror(error != 0 ? error : EIO);
}

// Six letters and digits, different for each call in this process and between processes.
std::string uniqueSuffix() {
    static const char kDigits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    uint64_t value = (uint64_t(GetCurrentProcessId()) << 32) ^
                     (uint64_t(gCounter++) * 2654435761u) ^ GetTickCount64();
    std::string suffix;
    for (int i = 0; i < 6; ++i, value /= 36) suffix += kDigits[value % 36];
    return suffix;
}

}  // namespace

void installOutputCleanup() {
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    SetConsoleCtrlHandler(removeTemporaries, TRUE);
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
    struct _stat64 status;
    if (_stat64(target.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
        if (S_ISDIR(status.st_mode)) {
            *error = "is a directory";
            return false;
        }
        stream_ = std::fopen(target.c_str(), "wb");
        if (stream_ == nullptr) *error = "cannot write: " + errorText(errno);
        return stream_ != nullptr;
    }
    const std::filesystem::path path(target);
    const std::string folder = path.parent_path().string();
    const std::string prefix =
        (folder.empty() ? std::string() : folder + "\\") + "." + path.filename().string() + ".";
    HANDLE file = INVALID_HANDLE_VALUE;
    std::string name;
    DWORD failure = 0;
    for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
        name = prefix + uniqueSuffix();
        file = CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                           nullptr, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr);
        failure = GetLastError();
        if (file == INVALID_HANDLE_VALUE && failure != ERROR_FILE_EXISTS) break;
    }
    if (file == INVALID_HANDLE_VALUE) {
        *error = "cannot write: " + errorText(errnoOf(failure));
        return false;
    }
    temporary_ = std::move(name);
    slot_ = claimSlot(temporary_.c_str());
    const int descriptor = _open_osfhandle(intptr_t(file), _O_WRONLY | _O_BINARY);
    stream_ = descriptor < 0 ? nullptr : _fdopen(descriptor, "wb");
    if (stream_ == nullptr) {
        *error = "cannot write: " + errorText(errno);
        if (descriptor >= 0) {
            _close(descriptor);
        } else {
            CloseHandle(file);
        }
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
    if (written && !temporary_.empty()) {
        SetFileAttributesA(temporary_.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!MoveFileExA(temporary_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING)) {
            written = false;
            failure = errnoOf(GetLastError());
        }
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
    if (!temporary_.empty()) DeleteFileA(temporary_.c_str());
    if (slot_ >= 0) gTemporaries[slot_].store(nullptr);
    slot_ = -1;
    temporary_.clear();
}

}  // namespace qob
