// The decoder's folders are floors: a file includes its own floor and the ones below it, never
// one above, so that the ground types never depend on the stages or the driver.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>

#include "tests/support/qob_files.h"

namespace {

namespace fs = std::filesystem;

// Bottom up. The header format and the kernels share a floor and include nothing of each other.
const std::map<std::string, int> kFloors = {
    {"base", 0},  {"format", 1}, {"dsp", 1},     {"entropy", 2},
    {"recon", 3}, {"output", 4}, {"decoder", 5}, {"plugin", 6},
};

TEST(Layout, NoIncludeRunsUpward) {
    const fs::path library = xqob::test::sourcePath("xqob");
    const std::regex include(R"re(#include "xqob/([a-z]+)/)re");
    int files = 0;
    for (const auto& [folder, floor] : kFloors) {
        for (const auto& entry : fs::directory_iterator(library / folder)) {
            std::ifstream in(entry.path());
            ++files;
            for (std::string line; std::getline(in, line);) {
                std::smatch match;
                if (!std::regex_search(line, match, include)) continue;
                const auto target = kFloors.find(match[1].str());
                ASSERT_NE(target, kFloors.end()) << entry.path() << ": " << line;
                EXPECT_LE(target->second, floor) << entry.path() << ": " << line;
            }
        }
    }
    EXPECT_GT(files, 50);
}

}  // namespace
