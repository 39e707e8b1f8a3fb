#include <gtest/gtest.h>

#include <string>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Data/ClDScriptData2.h"
#include "Corvane/Math/KvRandom.h"
#include "Tests/Support/KvTestSupport.h"

namespace {

// A tree built through the node interface; destroyed with the fixture.
class DScriptData : public ::testing::Test {
 protected:
  void SetUp() override {
    m_pRoot = ClDScriptData2::create();
    m_pRoot->setArray();
  }
  void TearDown() override { ClDScriptData2::destroyTree(m_pRoot); }

  ClDScriptData2* m_pRoot = nullptr;
};

TEST_F(DScriptData, NamesAreComparedByHashSoCaseDoesNotMatter) {
  ClDScriptData2* pFirst = m_pRoot->addChild("Speed");
  pFirst->setFloat(1.0f);
  EXPECT_EQ(m_pRoot->getChild("SPEED"), pFirst);
  EXPECT_EQ(m_pRoot->hasChild("speed"), 1);
  EXPECT_EQ(m_pRoot->hasChild("Sped"), 0);
  EXPECT_EQ(pFirst->getNameHash(), KvStrHash("Speed"));
  EXPECT_EQ(pFirst->getParent(), m_pRoot);
  EXPECT_KV_ASSERT(m_pRoot->addChild("speed"),
                   "addChild(): node [<UNNAMED>] already has a child named [speed] (was the intent to use "
                   "'addChildOrGetExisting()'?)");
  // Skipping the check appends a second child; lookups still find the first.
  ClDScriptData2* pSecond = m_pRoot->addChild("SPEED", true);
  EXPECT_NE(pSecond, pFirst);
  EXPECT_EQ(m_pRoot->getCount(), 2);
  EXPECT_EQ(m_pRoot->findChild("speed"), pFirst);
}

TEST_F(DScriptData, MissingChildAndNonArrayLookupsReportTheNodes) {
  ClDScriptData2* pArray = m_pRoot->addChild("Enemy");
  pArray->setArray();
  EXPECT_KV_FATAL(pArray->getChild("Gun"),
                  "getChild() could not find child [Gun] inside array object [Enemy]... so we are dying!");
  EXPECT_EQ(pArray->findChild("Gun"), nullptr);

  ClDScriptData2* pFloat = m_pRoot->addChild("Speed");
  pFloat->setFloat(2.0f);
  EXPECT_KV_ASSERT(pFloat->getChild("x"), "Trying to find a child from a script object [Speed] that is not an array!");
  ClDScriptData2* pUnnamed = pArray->addUnnamedChild();
  pUnnamed->setFloat(1.0f);
  EXPECT_KV_ASSERT(pUnnamed->findChild("x"),
                   "Trying to find a child from a script object [<UNNAMED>] that is not an array!");
  EXPECT_KV_ASSERT(pArray->findChild(nullptr), "Trying to find a child with a given name, but no name was given!");
  EXPECT_KV_ASSERT(pArray->getChildByIndex(1),
                   "Trying to find a child with an index, but the index [1] is OUT OF RANGE (size is 1) for script "
                   "object [Enemy]!");
  EXPECT_KV_ASSERT(pArray->getChildAt(-1), "iIndex >= 0 && iIndex < mp_Children.getCount()");
  EXPECT_KV_ASSERT(pFloat->getChildWithIdentifier("noLoop"),
                   "ClDScriptData2::getChildWithIdentifier() -> Trying to find a child from a script object [Speed] "
                   "that is not an array!");
}

TEST_F(DScriptData, TypedGettersCheckTheType) {
  ClDScriptData2* pInt = m_pRoot->addChild("Score");
  pInt->setInt(3);
  ClDScriptData2* pText = m_pRoot->addChild("Title");
  pText->setString("abc");
  EXPECT_EQ(pInt->getInt(), 3);
  EXPECT_EQ(pInt->getNumber(), 3.0f);
  EXPECT_EQ(pInt->getFloat(), 3.0f);
  EXPECT_STREQ(pText->getString(), "abc");
  EXPECT_TRUE(pText->getStringCopy() == "abc");
  EXPECT_KV_ASSERT(pInt->getFloatExact(), "mp_eValueType == E_DSVT_FLOAT");
  EXPECT_KV_ASSERT(pText->getInt(), "mp_eValueType == E_DSVT_INT");
  EXPECT_KV_ASSERT(pInt->getString(), "mp_eValueType == E_DSVT_STRING || mp_eValueType == E_DSVT_HASH_ID");
  EXPECT_KV_ASSERT(pText->getNumber(), "mp_eValueType == E_DSVT_FLOAT || mp_eValueType == E_DSVT_INT");
  EXPECT_KV_ASSERT(pInt->addChild("x"), "mp_eValueType == E_DSVT_ARRAY");
}

TEST_F(DScriptData, GetChildWithIdentifierMatchesOnlyHashIds) {
  m_pRoot->addUnnamedChild()->setString("noLoop");
  m_pRoot->addUnnamedChild()->setInt(7);
  ClDScriptData2* pId = m_pRoot->addUnnamedChild();
  pId->setHashId("NOLOOP", KvStrHash("NOLOOP"));
  EXPECT_EQ(m_pRoot->getChildWithIdentifier("noLoop"), pId);
  EXPECT_EQ(m_pRoot->getChildWithIdentifier("loop"), nullptr);
  EXPECT_STREQ(pId->getString(), "NOLOOP");
}

TEST_F(DScriptData, AddFloatCreatesAndAccumulates) {
  m_pRoot->addFloat("Damage", 1.5f);
  m_pRoot->addFloat("damage", 2.0f);
  EXPECT_EQ(m_pRoot->getCount(), 1);
  EXPECT_FLOAT_EQ(m_pRoot->getChild("Damage")->getFloatExact(), 3.5f);
  m_pRoot->addChild("Score")->setInt(1);
  EXPECT_KV_ASSERT(m_pRoot->addFloat("Score", 1.0f), "mp_eValueType == E_DSVT_FLOAT");
}

TEST_F(DScriptData, VectorsReadTheFirstFloatChildren) {
  ClDScriptData2* pVector = m_pRoot->addChild("Velocity");
  pVector->setArray();
  for (f32 f : {1.0f, -2.0f, 3.5f, 9.0f}) {
    pVector->addUnnamedChild()->setFloat(f);
  }
  EXPECT_EQ(pVector->getVector3(), (kv_vector3{1.0f, -2.0f, 3.5f}));
  EXPECT_EQ(pVector->getVector2(), (kv_vector2{1.0f, -2.0f}));
  pVector->getChildAt(1)->setInt(2);
  EXPECT_KV_ASSERT(pVector->getVector3(), "mp_eValueType == E_DSVT_FLOAT");
}

TEST_F(DScriptData, RangeDrawsOneWordPerReadWithinMinAndMax) {
  ClDScriptData2* pRange = m_pRoot->addChild("Delay");
  pRange->setArray();
  pRange->addChild("Min")->setInt(2);
  pRange->addChild("Max")->setFloat(4.0f);

  sfmtInitGenRand(1234);
  u32 auiWords[8];
  for (u32& w : auiWords) {
    w = sfmtNextWord();
  }
  sfmtInitGenRand(1234);
  f32 fPrevious = -1.0f;
  for (u32 w : auiWords) {
    const u32 uiDraws = KvRandomGetDrawCount();
    const f32 fValue = pRange->getFloat();
    EXPECT_EQ(KvRandomGetDrawCount(), uiDraws + 1);
    EXPECT_EQ(fValue, KvMath::wordToUnitFloat(w) * 2.0f + 2.0f);
    EXPECT_GE(fValue, 2.0f);
    EXPECT_LE(fValue, 4.0f);
    EXPECT_NE(fValue, fPrevious);
    fPrevious = fValue;
  }
  // A range without "Max" is getChild's fatal error, before any draw.
  ClDScriptData2* pBroken = m_pRoot->addChild("Broken");
  pBroken->setArray();
  pBroken->addChild("Min")->setFloat(1.0f);
  const u32 uiDraws = KvRandomGetDrawCount();
  EXPECT_KV_FATAL(pBroken->getFloat(), "could not find child [Max] inside array object [Broken]");
  EXPECT_EQ(KvRandomGetDrawCount(), uiDraws);
}

}  // namespace
