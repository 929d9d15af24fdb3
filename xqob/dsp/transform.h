// The 4x4 and 8x8 inverse integer transforms, in place, rows first then columns.
#pragma once

#include <cstdint>

namespace xqob {

void inverseTransform4x4(int32_t* block);
void inverseTransform8x8(int32_t* block);

}  // namespace xqob
