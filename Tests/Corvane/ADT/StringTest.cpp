#include "Corvane/ADT/String.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "Corvane/Memory/KvAlloc.h"
#include "Tests/Support/KvTestSupport.h"

namespace {

std::string text(const String& s) { return std::string(s.getCStr(), s.getLength()); }

TEST(String, EmptyStringsAndOwnership) {
  String nullSource(nullptr);
  EXPECT_EQ(nullSource.getLength(), 0u);
  EXPECT_STREQ(nullSource.getCStr(), "");

  // Default strings share one empty text; destroying one must not free it (the sanitizer build would catch a
  // free of static storage) and leaves it intact for the others.
  String shared;
  {
    String temporary;
    EXPECT_EQ(temporary.getCStr(), shared.getCStr());
  }
  EXPECT_STREQ(shared.getCStr(), "");
  EXPECT_NE(nullSource.getCStr(), shared.getCStr());

  // Appending nothing to the shared empty string leaves it shared and unwritten.
  shared += "";
  shared += nullptr;
  shared += String();
  EXPECT_EQ(shared.getLength(), 0u);
  EXPECT_STREQ(String().getCStr(), "");
}

TEST(String, CopiesAreIndependent) {
  String original("abc");
  String copy(original);
  String assigned;
  assigned = original;
  original += "d";
  EXPECT_EQ(text(original), "abcd");
  EXPECT_EQ(text(copy), "abc");
  EXPECT_EQ(text(assigned), "abc");
  EXPECT_NE(copy.getCStr(), assigned.getCStr());

  const String& self = assigned;
  assigned = self;
  EXPECT_EQ(text(assigned), "abc");
  // Assigning a string its own characters must copy them before the old buffer goes.
  assigned = assigned.getCStr() + 1;
  EXPECT_EQ(text(assigned), "bc");
  assigned.assignCStr(nullptr);
  EXPECT_EQ(assigned.getLength(), 0u);
}

TEST(String, CopyChecksTheLengthInvariant) {
  String s("abcd");
  const_cast<char*>(s.getCStr())[2] = 0;
  EXPECT_KV_ASSERT(String copy(s), "Assertion: [KvStrLen(object.mData) == object.mLength]");
}

TEST(String, ComparisonIncludesTheTerminator) {
  String s("abc");
  EXPECT_TRUE(s == "abc");
  EXPECT_FALSE(s == "ab");
  EXPECT_FALSE(s == "abcd");
  EXPECT_TRUE(s != "abC");
  EXPECT_TRUE(s.equalsCStr("abc"));
  EXPECT_TRUE(s.notEqualsCStr("abcd"));
  EXPECT_TRUE(String() == "");
}

TEST(String, AppendingAndConcatenation) {
  String s("ab");
  s += s;
  EXPECT_EQ(text(s), "abab");
  s.appendCStr("-x");
  EXPECT_EQ(text(s), "abab-x");

  String a("left");
  const String joined = a + String("Right");
  EXPECT_EQ(text(joined), "leftRight");
  EXPECT_EQ(text(a.concat("Right")), "leftRight");
  EXPECT_EQ(text(a), "left");
}

TEST(String, DecimalTextOfIntegers) {
  String s("n");
  s += 0;
  s += -45;
  s.appendInt(INT_MAX);
  EXPECT_EQ(text(s), "n0-452147483647");

  // The most negative value has no positive counterpart in 32 bits.
  String minimum;
  minimum += INT_MIN;
  EXPECT_EQ(text(minimum), "-2147483648");

  const String base("Level");
  EXPECT_EQ(text(base + 12), "Level12");
  EXPECT_EQ(text(base.plusInt(-7)), "Level-7");
  EXPECT_EQ(text(base), "Level");
}

TEST(String, SubStringsAndRewrites) {
  const String s("abcdef");
  EXPECT_EQ(text(s.subString(2, 0xFFFFFFFF)), "cdef");
  EXPECT_EQ(text(s.subString(1, 3)), "bcd");
  EXPECT_EQ(text(s.subString(6, String::npos)), "");
  EXPECT_KV_ASSERT(s.subString(4, 3), "uiCount <= mLength - uiStart");
  EXPECT_KV_ASSERT(s.subString(7, 0), "uiStart <= mLength");

  String hyphens("a-b-c");
  hyphens.replaceHyphensWithUnderscores();
  EXPECT_EQ(text(hyphens), "a_b_c");
  String edges("-x--");
  EXPECT_EQ(text(edges.replaceHyphensWithUnderscores()), "_x__");
  String none("abc");
  EXPECT_EQ(text(none.replaceHyphensWithUnderscores()), "abc");

  const String enemy("EnemyWeak");
  EXPECT_EQ(text(enemy.withTShirtSuffix()), "EnemyWeakTShirt");
  EXPECT_EQ(text(enemy), "EnemyWeak");
}

TEST(String, FailedAllocationIsFatal) {
  KvAllocFailNext(1);
  EXPECT_KV_FATAL(String s("abc"), "Out of memory for a string");

  // A failed append leaves the old text in place.
  String s("abc");
  KvAllocFailNext(1);
  EXPECT_KV_FATAL(s += "def", "Out of memory for a string");
  EXPECT_EQ(text(s), "abc");

  KvAllocFailNext(1);
  EXPECT_KV_FATAL(StringW w(u"abc"), "Out of memory for a string");
  KvAllocFailNext(0);
}

std::u16string unescaped(const wchar16* pText) {
  StringW w(pText);
  w.unescape();
  EXPECT_EQ(w.getCStr()[w.getLength()], 0);
  return std::u16string(w.getCStr(), w.getLength());
}

TEST(StringW, Unescape) {
  EXPECT_EQ(unescaped(u"a\\nb"), u"a\nb");
  EXPECT_EQ(unescaped(u"say \\\"hi\\\""), u"say \"hi\"");
  EXPECT_EQ(unescaped(u"ab\\"), u"ab\\");
  EXPECT_EQ(unescaped(u"\\n"), u"\n");
  EXPECT_EQ(unescaped(u"\\t\\\\n"), u"\\t\\\n");
  EXPECT_EQ(unescaped(u"x"), u"x");

  // Empty texts, private or shared, stay empty.
  EXPECT_EQ(unescaped(u""), u"");
  StringW shared;
  shared.unescape();
  EXPECT_EQ(shared.getLength(), 0u);
  EXPECT_EQ(shared.getCStr()[0], 0);
}

TEST(StringW, OwnershipAndPointerCheck) {
  StringW original(u"h\u00e9");
  StringW copy(original);
  StringW assigned;
  assigned = original;
  assigned = assigned;
  EXPECT_NE(copy.getCStr(), original.getCStr());
  EXPECT_EQ(std::u16string(assigned.getCStr()), u"h\u00e9");
  EXPECT_EQ(assigned.getLength(), 2u);

  EXPECT_KV_FATAL(StringW w(nullptr), "NULL Pointer!");
}

}  // namespace
