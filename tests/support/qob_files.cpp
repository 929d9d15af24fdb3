#include "tests/support/qob_files.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace xqob::test {

std::vector<uint8_t> headerBytes(const HeaderFields& fields) {
    std::vector<uint8_t> bytes = {'Q', 'O', 'B'};
    bytes.push_back(uint8_t((fields.gray ? 128 : 0) | fields.qualityIndex));
    bytes.push_back(uint8_t((fields.fullChroma ? 128 : 0) | fields.chromaQuantiser));
    bytes.push_back(uint8_t(fields.flags));
    if (fields.flags & 1) {
        for (int i = 0; i < 10; ++i) bytes.push_back(uint8_t(0xA0 + i));
    }
    bytes.push_back(uint8_t(fields.width >> 8));
    bytes.push_back(uint8_t(fields.width));
    bytes.push_back(uint8_t(fields.height >> 8));
    bytes.push_back(uint8_t(fields.height));
    for (int i = 0; i < 4; ++i) bytes.push_back(uint8_t(0x55));
    return bytes;
}

std::string sourcePath(const std::string& relative) {
    std::filesystem::path file = __FILE__;  // tests/support/qob_files.cpp
    if (file.is_relative()) {
        file = std::filesystem::canonical("/proc/self/exe").parent_path().parent_path() / file;
    }
    return (file.parent_path().parent_path().parent_path() / relative).lexically_normal().string();
}

std::vector<uint8_t> qobFile(const HeaderFields& fields, const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> bytes = headerBytes(fields);
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    return bytes;
}

std::string writeTempFile(const std::string& name, const std::vector<uint8_t>& bytes) {
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() / ("xqob-tests-" + std::to_string(getpid()));
    fs::create_directories(folder);
    const fs::path path = folder / name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path.string();
}

std::vector<uint8_t> readFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

int openDescriptorCount() {
    int count = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator("/proc/self/fd")) {
        ++count;
    }
    return count;
}

}  // namespace xqob::test
