// Percent-encoding for URLs: each byte outside a chosen set becomes "%XX"
// (upper-case hex digits), the rest is copied as it is.
#pragma once

#include <bitset>
#include <string>
#include <string_view>

namespace talewick {

// The bytes an encoding leaves as they are, indexed by their unsigned value.
using ByteSet = std::bitset<256>;

// The bytes for which `keep(byte)` is true.
template <typename Keep>
ByteSet BytesWhere(Keep keep) {
  ByteSet set;
  for (int byte = 0; byte < 256; ++byte) set[byte] = keep(static_cast<unsigned char>(byte));
  return set;
}

enum class Escapes {
  kEncode,  // a '%' outside `kept` is encoded wherever it stands
  kKeep,    // "%XX" (two hex digits) is taken as encoded already and copied
};

// `text` with every byte not in `kept` written as "%XX".
std::string PercentEncode(std::string_view text, const ByteSet& kept,
                          Escapes escapes = Escapes::kEncode);

}  // namespace talewick
