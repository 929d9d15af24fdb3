// Windows: two paths name the same file when they reach the same file index on the same
// volume; names of files that do not exist yet compare without regard to case, as the file
// system does.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cctype>
#include <filesystem>

#include "tools/qob/input_file.h"

namespace qob {

std::string fileIdentity(const std::string& path) {
    if (path == "-") return {};
    HANDLE file =
        CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        BY_HANDLE_FILE_INFORMATION information;
        const bool known = GetFileInformationByHandle(file, &information) != 0;
        CloseHandle(file);
        if (known) {
            const uint64_t index =
                uint64_t(information.nFileIndexHigh) << 32 | information.nFileIndexLow;
            return std::to_string(information.dwVolumeSerialNumber) + ":" + std::to_string(index);
        }
    }
    std::error_code ignored;
    std::string name =
        std::filesystem::weakly_canonical(std::filesystem::absolute(path, ignored), ignored)
            .string();
    for (char& c : name) c = char(std::tolower(static_cast<unsigned char>(c)));
    return name;
}

}  // namespace qob
