#include "Corvane/ADT/KvStrHash.h"

#include <array>

namespace {

// The standard CRC-32 table of the reflected polynomial, built at compile time into read-only data.
constexpr std::array<u32, 256> makeCrcTable() {
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

constexpr std::array<u32, 256> gc_auiCRC_TABLE = makeCrcTable();
static_assert(gc_auiCRC_TABLE[1] == 0x77073096u && gc_auiCRC_TABLE[255] == 0x2D02EF8Du);

}  // namespace

u32 KvStrHash(const char* pText) {
  // The accumulator is signed on purpose: the shift must copy the sign bit (arithmetic shift).
  i32 h = 0;
  for (const u8* p = reinterpret_cast<const u8*>(pText); *p; ++p) {
    const u32 uiIndex = ((*p & 0xDFu) ^ static_cast<u32>(h)) & 0xFFu;
    h = static_cast<i32>(gc_auiCRC_TABLE[uiIndex]) ^ (h >> 8);
  }
  return static_cast<u32>(h);
}
