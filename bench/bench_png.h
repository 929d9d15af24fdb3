// Pictures for the benchmark: PNG files read into packed R, G, B rows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;  // height rows of width * 3 bytes
};

bool loadPng(const std::string& path, Picture* picture);

}  // namespace bench
