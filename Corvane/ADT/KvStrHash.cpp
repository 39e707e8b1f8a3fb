#include "Corvane/ADT/KvStrHash.h"

#include <array>
#include <bit>
#include <cstring>

#include "Corvane/ADT/KvStrHashConst.h"

namespace {

using KvStrHashConstDetail::step;
static_assert(KvStrHashConstDetail::gc_auiTABLE[1] == 0x77073096u &&
              KvStrHashConstDetail::gc_auiTABLE[255] == 0x2D02EF8Du);

// Four folded bytes (the first in the low byte) into the accumulator, byte by byte.
constexpr u32 fourSteps(u32 uiH, u32 uiWord) {
  i32 h = static_cast<i32>(uiH);
  for (i32 i = 0; i < 4; ++i) {
    h = step(h, (uiWord >> (8 * i)) & 0xFFu);
  }
  return static_cast<u32>(h);
}

// Every part of a step is linear over GF(2) (the table of a CRC, the arithmetic shift, the folding), so four steps
// are too: fourSteps(h, w) = G(h ^ w) ^ (h's sign bit times a constant), with G split into one table per byte.
// The sign bit is the one difference: it also comes back in through the shifts.
struct SFourStepTables {
  std::array<std::array<u32, 256>, 4> auiByByte{};
  u32 uiSignCorrection = 0;
};

constexpr u32 fourStepsByTable(const SFourStepTables& tables, u32 uiX) {
  return tables.auiByByte[0][uiX & 0xFFu] ^ tables.auiByByte[1][(uiX >> 8) & 0xFFu] ^
         tables.auiByByte[2][(uiX >> 16) & 0xFFu] ^ tables.auiByByte[3][uiX >> 24];
}

constexpr SFourStepTables makeFourStepTables() {
  SFourStepTables tables;
  for (u32 i = 0; i < 4; ++i) {
    for (u32 v = 0; v < 256; ++v) {
      tables.auiByByte[i][v] = fourSteps(0, v << (8 * i));
    }
  }
  tables.uiSignCorrection = fourSteps(0x80000000u, 0) ^ fourStepsByTable(tables, 0x80000000u);
  return tables;
}

constexpr SFourStepTables gc_FOUR_STEPS = makeFourStepTables();

// The split holds for every bit of the accumulator but the sign bit, which the correction covers.
constexpr bool splitHolds() {
  for (u32 j = 0; j < 31; ++j) {
    if (fourSteps(1u << j, 0) != fourStepsByTable(gc_FOUR_STEPS, 1u << j)) {
      return false;
    }
  }
  return true;
}
static_assert(splitHolds());
static_assert(std::endian::native == std::endian::little, "the words are read in memory order");

}  // namespace

u32 KvStrHash(const char* pText) {
  const size_t uiLength = std::strlen(pText);
  const char* p = pText;
  u32 h = 0;
  // Four bytes at a time: one round of table look-ups that do not wait on each other.
  for (const char* pEnd = pText + (uiLength & ~size_t{3}); p != pEnd; p += 4) {
    u32 uiWord;
    std::memcpy(&uiWord, p, 4);
    const u32 uiSign = 0u - (h >> 31);
    h = fourStepsByTable(gc_FOUR_STEPS, h ^ (uiWord & 0xDFDFDFDFu)) ^ (gc_FOUR_STEPS.uiSignCorrection & uiSign);
  }
  i32 iH = static_cast<i32>(h);
  for (; *p != '\0'; ++p) {
    iH = step(iH, static_cast<u8>(*p) & 0xDFu);
  }
  return static_cast<u32>(iH);
}
