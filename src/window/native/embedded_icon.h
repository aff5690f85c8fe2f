// The program's icon as PNG bytes, compiled into the executable from
// assets/talewick.png. The size is 0 when the PNG was missing at build time.
#pragma once

#include <cstddef>

namespace talewick {

extern const unsigned char kEmbeddedIconPng[];
extern const std::size_t kEmbeddedIconPngSize;

}  // namespace talewick
