// The engine's name hash (KvStrHash.h) of a text known when compiling, computed by the compiler: for keys looked up
// every frame, so the look-up costs no hashing. Same result as KvStrHash, bit for bit.
#pragma once

#include <array>
#include <string_view>

#include "Corvane/System/KvTypes.h"

namespace KvStrHashConstDetail {

constexpr std::array<u32, 256> makeTable() {
  std::array<u32, 256> table{};
  for (u32 i = 0; i < 256; ++i) {
    u32 c = i;
    for (i32 k = 0; k < 8; ++k) {
      c = (c & 1u) ? (0xEDB88320u ^ (c >> 1)) : (c >> 1);
    }
    table[i] = c;
  }
  return table;
}

// The standard CRC-32 table of the reflected polynomial, built at compile time into read-only data.
inline constexpr std::array<u32, 256> gc_auiTABLE = makeTable();

// One byte (already folded) into the accumulator. The accumulator is signed on purpose: the shift must copy the
// sign bit (arithmetic shift).
constexpr i32 step(i32 h, u32 uiByte) {
  return static_cast<i32>(gc_auiTABLE[(uiByte ^ static_cast<u32>(h)) & 0xFFu]) ^ (h >> 8);
}

}  // namespace KvStrHashConstDetail

// Byte by byte, bit 5 of each byte cleared, the signed accumulator shifted arithmetically (as KvStrHash).
consteval u32 KvStrHashConst(std::string_view text) {
  i32 h = 0;
  for (const char c : text) {
    h = KvStrHashConstDetail::step(h, static_cast<u8>(c) & 0xDFu);
  }
  return static_cast<u32>(h);
}
