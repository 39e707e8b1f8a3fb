#include "Corvane/Data/ClDScriptData2.h"

#include <cstring>
#include <new>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Math/KvRandom.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/System/KvDebug.h"

namespace {

// A private zero-terminated copy, or null when the heap refuses.
char* copyText(const char* pText) {
  const size_t uiLength = std::strlen(pText);
  char* pCopy = static_cast<char*>(KvAlignedAlloc(uiLength + 1, 16));
  if (pCopy != nullptr) {
    std::memcpy(pCopy, pText, uiLength + 1);
  }
  return pCopy;
}

}  // namespace

ClDScriptData2* ClDScriptData2::create() {
  void* pBlock = KvAlignedAlloc(sizeof(ClDScriptData2), 16);
  KV_ASSERT_MSG(pBlock, "pNewValue");
  return new (pBlock) ClDScriptData2();
}

ClDScriptData2* ClDScriptData2::createChild(ClDScriptData2* pParent) {
  ClDScriptData2* pChild = create();
  pParent->mp_Children.append(pChild);
  return pChild;
}

void ClDScriptData2::destroyTree(ClDScriptData2* pRoot) {
  if (pRoot == nullptr) {
    return;
  }
  if (pRoot->mp_Children.isInitialized()) {
    for (i32 i = 0; i < pRoot->mp_Children.getCount(); ++i) {
      destroyTree(pRoot->mp_Children[i]);
    }
    pRoot->mp_Children.terminate();
  }
  pRoot->freeText();
  pRoot->freeName();
  // The block of a loaded tree goes with its root, after every node in it.
  void* pBlock = pRoot->mp_pBlock;
  const bool bInBlock = pRoot->isInBlock();
  pRoot->~ClDScriptData2();
  if (!bInBlock) {
    KvAlignedFree(pRoot);
  }
  KvAlignedFree(pBlock);
}

void ClDScriptData2::freeText() {
  if ((m_uiBlockParts & E_BLOCK_TEXT) == 0) {
    KvAlignedFree(mp_Value.mp_pStringValue);
  }
  m_uiBlockParts &= ~static_cast<u16>(E_BLOCK_TEXT);
  mp_Value.mp_pStringValue = nullptr;
  m_uiEvaluatorSlot = 0;  // a new text may come at the old one's address
}

void ClDScriptData2::freeName() {
  if ((m_uiBlockParts & E_BLOCK_NAME) == 0) {
    KvAlignedFree(mp_pNamedKey);
  }
  m_uiBlockParts &= ~static_cast<u16>(E_BLOCK_NAME);
  mp_pNamedKey = nullptr;
}

void ClDScriptData2::setName(const char* hStr) {
  KV_ASSERT(hStr);
  char* pCopy = copyText(hStr);  // before the old name goes: hStr may be it
  KV_ASSERT_MSG(pCopy, "mp_pNamedKey");
  freeName();
  mp_pNamedKey = pCopy;
  mp_uiNameHash = KvStrHash(mp_pNamedKey);
  mp_bHasName = 1;
}

void ClDScriptData2::setString(const char* pVal) {
  KV_ASSERT(pVal);
  KV_ASSERT_MSG(mp_eValueType != E_DSVT_ARRAY, "mp_eValueType != E_DSVT_ARRAY");
  char* pCopy = copyText(pVal);  // before the old text goes: pVal may be it
  KV_ASSERT_MSG(pCopy, "mp_Value.mp_pStringValue");
  freeText();
  mp_Value.mp_pStringValue = pCopy;
  mp_eValueType = E_DSVT_STRING;
}

void ClDScriptData2::setHashId(const char* hHashString, u32 uiHash) {
  KV_ASSERT(hHashString);
  KV_ASSERT_MSG(mp_eValueType != E_DSVT_ARRAY, "mp_eValueType != E_DSVT_ARRAY");
  char* pCopy = copyText(hHashString);
  KV_ASSERT_MSG(pCopy, "mp_Value.mp_pStringValue");
  freeText();
  mp_Value.mp_pStringValue = pCopy;
  mp_Value.mp_uiHash = uiHash;
  mp_eValueType = E_DSVT_HASH_ID;
}

void ClDScriptData2::setInt(i32 iValue) {
  KV_ASSERT_MSG(mp_eValueType != E_DSVT_ARRAY, "mp_eValueType != E_DSVT_ARRAY");
  freeText();
  mp_Value.mp_iValue = iValue;
  mp_eValueType = E_DSVT_INT;
}

void ClDScriptData2::setFloat(f32 fValue) {
  KV_ASSERT_MSG(mp_eValueType != E_DSVT_ARRAY, "mp_eValueType != E_DSVT_ARRAY");
  freeText();
  mp_Value.mp_fValue = fValue;
  mp_eValueType = E_DSVT_FLOAT;
}

void ClDScriptData2::setArray(i32 iCapacity) {
  KV_ASSERT_MSG(mp_eValueType != E_DSVT_ARRAY, "mp_eValueType != E_DSVT_ARRAY");
  freeText();
  mp_Value.mp_uiHash = 0;
  mp_Children.initialize(iCapacity < 8 ? 8 : iCapacity);
  mp_eValueType = E_DSVT_ARRAY;
}

ClDScriptData2* ClDScriptData2::addChild(const char* pName, bool bSkipDuplicateCheck) {
  KV_ASSERT(mp_eValueType == E_DSVT_ARRAY);
  KV_ASSERT(pName);
  if (!bSkipDuplicateCheck) {
    KV_ASSERTF(findChildByHash(KvStrHash(pName)) == nullptr,
               "addChild(): node [%s] already has a child named [%s] (was the intent to use "
               "'addChildOrGetExisting()'?)",
               getDisplayName(), pName);
  }
  ClDScriptData2* pChild = createChild(this);
  pChild->setName(pName);
  pChild->mp_pParent = this;
  return pChild;
}

ClDScriptData2* ClDScriptData2::addUnnamedChild() {
  KV_ASSERT(mp_eValueType == E_DSVT_ARRAY);
  return createChild(this);
}

void ClDScriptData2::addFloat(const char* pName, f32 fAmount) {
  ClDScriptData2* pChild = findChild(pName);
  if (pChild == nullptr) {
    pChild = addChild(pName, true);
  }
  if (pChild->mp_eValueType == E_DSVT_NONE) {
    pChild->setFloat(KV_ZERO);
  }
  KV_ASSERT(pChild->mp_eValueType == E_DSVT_FLOAT);
  pChild->mp_Value.mp_fValue += fAmount;
}

void ClDScriptData2::assertArray() const {
  KV_ASSERTF(mp_eValueType == E_DSVT_ARRAY,
             "Trying to find a child from a script object [%s] that is not an array!", getDisplayName());
}

ClDScriptData2* ClDScriptData2::findChildByHash(u32 uiHash) const {
  assertArray();
  const i32 iCount = mp_Children.getCount();
  for (i32 i = 0; i < iCount; ++i) {
    ClDScriptData2* pChild = mp_Children[i];
    if (pChild->mp_uiNameHash == uiHash && pChild->mp_bHasName) {
      return pChild;
    }
  }
  return nullptr;
}

ClDScriptData2* ClDScriptData2::findChild(const char* pName) const {
  assertArray();
  KV_ASSERT_MSG(pName, "Trying to find a child with a given name, but no name was given!");
  return findChildByHash(KvStrHash(pName));
}

ClDScriptData2* ClDScriptData2::getChild(const char* pName) const {
  ClDScriptData2* pChild = findChild(pName);
  if (pChild == nullptr) {
    KV_FATALF("getChild() could not find child [%s] inside array object [%s]... so we are dying!", pName,
              getDisplayName());
  }
  return pChild;
}

ClDScriptData2* ClDScriptData2::getChildWithIdentifier(const char* pIdentifier) const {
  KV_ASSERTF(mp_eValueType == E_DSVT_ARRAY,
             "ClDScriptData2::getChildWithIdentifier() -> Trying to find a child from a script object [%s] "
             "that is not an array!",
             getDisplayName());
  KV_ASSERT_MSG(pIdentifier, "Trying to find a child with a given name, but no name was given!");
  const u32 uiHash = KvStrHash(pIdentifier);
  for (i32 i = 0; i < mp_Children.getCount(); ++i) {
    ClDScriptData2* pChild = mp_Children[i];
    if (pChild->mp_eValueType == E_DSVT_HASH_ID && pChild->mp_Value.mp_uiHash == uiHash) {
      return pChild;
    }
  }
  return nullptr;
}

ClDScriptData2* ClDScriptData2::getChildAt(i32 iIndex) const {
  KV_ASSERT(mp_eValueType == E_DSVT_ARRAY);
  KV_ASSERT(iIndex >= 0 && iIndex < mp_Children.getCount());
  return mp_Children[iIndex];
}

ClDScriptData2* ClDScriptData2::getChildByIndex(i32 iIndex) const {
  assertArray();
  KV_ASSERTF(iIndex >= 0 && iIndex < mp_Children.getCount(),
             "Trying to find a child with an index, but the index [%d] is OUT OF RANGE (size is %d) for script "
             "object [%s]!",
             iIndex, mp_Children.getCount(), getDisplayName());
  return mp_Children[iIndex];
}

i32 ClDScriptData2::getInt() const {
  KV_ASSERT(mp_eValueType == E_DSVT_INT);
  return mp_Value.mp_iValue;
}

f32 ClDScriptData2::getFloatExact() const {
  KV_ASSERT(mp_eValueType == E_DSVT_FLOAT);
  return mp_Value.mp_fValue;
}

f32 ClDScriptData2::getNumber() const {
  KV_ASSERT(mp_eValueType == E_DSVT_FLOAT || mp_eValueType == E_DSVT_INT);
  return mp_eValueType == E_DSVT_FLOAT ? mp_Value.mp_fValue : static_cast<f32>(mp_Value.mp_iValue);
}

f32 ClDScriptData2::getFloat() const {
  if (mp_eValueType == E_DSVT_FLOAT || mp_eValueType == E_DSVT_INT) {
    return getNumber();
  }
  // Max is looked up before Min, and exactly one word is drawn per read: replays depend on both.
  const f32 fMax = getChild("Max")->getNumber();
  const f32 fMin = getChild("Min")->getNumber();
  return KvMath::randomUnitFloat() * (fMax - fMin) + fMin;
}

kv_vector2 ClDScriptData2::getVector2() const {
  return {getChildAt(0)->getFloatExact(), getChildAt(1)->getFloatExact()};
}

kv_vector3 ClDScriptData2::getVector3() const {
  return {getChildAt(0)->getFloatExact(), getChildAt(1)->getFloatExact(), getChildAt(2)->getFloatExact()};
}
