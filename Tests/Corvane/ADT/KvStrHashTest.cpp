#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/ADT/KvStrHashConst.h"

#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <string>

namespace {

// Bit-by-bit CRC step over the folded byte, with the accumulator shifted arithmetically: built without
// any table so that it checks the table as well as the walk.
u32 referenceHash(const std::string& text) {
  i32 h = 0;
  for (unsigned char c : text) {
    u32 crc = (static_cast<u32>(c & 0xDF) ^ static_cast<u32>(h)) & 0xFFu;
    for (int k = 0; k < 8; ++k) {
      crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    h = (h >> 8) ^ static_cast<i32>(crc);
  }
  return static_cast<u32>(h);
}

TEST(KvStrHash, KnownVectors) {
  EXPECT_EQ(KvStrHash(""), 0u);
  EXPECT_EQ(KvStrHash("abc"), 0x5CC2DA5Au);
  EXPECT_EQ(KvStrHash("ABC"), 0x5CC2DA5Au);
  EXPECT_EQ(KvStrHash("Action"), 0x06F615B7u);  // a logical shift would give 0x06F6EAB7
  // Values worked out separately from the rule, names as the data uses them.
  EXPECT_EQ(KvStrHash("FULL"), 0x08AE1908u);
  EXPECT_EQ(KvStrHash("system_font"), 0xF19F2C86u);
  EXPECT_EQ(KvStrHash("project.ini"), 0xFD2998FBu);
  EXPECT_EQ(KvStrHash("Scripts\\Levels\\Level_03.kds"), 0x6C53AF03u);
  EXPECT_EQ(KvStrHash("monkey"), KvStrHash("Monkey"));
}

TEST(KvStrHash, BitFiveFoldingAndSeparators) {
  EXPECT_EQ(KvStrHash("a/b"), 0x6E12DB84u);
  EXPECT_EQ(KvStrHash("a\\b"), 0x0084D513u);
  EXPECT_EQ(KvStrHash("a/b"), KvStrHash("a\x0F" "b"));  // "/" folds onto 0x0F
  EXPECT_EQ(KvStrHash("x1"), KvStrHash("x\x11"));  // digits fold onto control bytes
}

TEST(KvStrHash, MatchesBitwiseReferenceOnRandomText) {
  std::mt19937 rng(7);
  for (int n = 0; n < 2000; ++n) {
    std::string text(rng() % 80, ' ');
    for (char& c : text) {
      c = static_cast<char>(1 + rng() % 255);  // every byte but the terminator, high bytes included
    }
    ASSERT_EQ(KvStrHash(text.c_str()), referenceHash(text)) << n;
  }
}

}  // namespace

// The compiler's hash agrees with the run-time one: known vectors checked while compiling, then names of every
// length class (the run-time hash takes four bytes at a time) and high bytes.
static_assert(KvStrHashConst("") == 0u && KvStrHashConst("abc") == 0x5CC2DA5Au);
static_assert(KvStrHashConst("Action") == 0x06F615B7u && KvStrHashConst("system_font") == 0xF19F2C86u);

TEST(KvStrHash, CompileTimeHashMatches) {
  constexpr u32 auiConst[] = {KvStrHashConst("State"),        KvStrHashConst("ShieldDamage"),
                              KvStrHashConst("SpawnPistolDisarmedWeapon"), KvStrHashConst("a/b"),
                              KvStrHashConst("\xE9t\xE9"),    KvStrHashConst("x")};
  const char* const apText[] = {"State", "ShieldDamage", "SpawnPistolDisarmedWeapon", "a/b", "\xE9t\xE9", "x"};
  for (size_t i = 0; i < std::size(apText); ++i) {
    EXPECT_EQ(auiConst[i], KvStrHash(apText[i])) << apText[i];
    EXPECT_EQ(auiConst[i], referenceHash(apText[i])) << apText[i];
  }
}
