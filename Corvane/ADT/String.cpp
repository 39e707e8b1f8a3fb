#include "Corvane/ADT/String.h"

#include <cstring>

#include "Corvane/ADT/KvSystem.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/System/KvDebug.h"

namespace {

// The shared empty texts of default-constructed strings; never written, never freed.
char g_acEmptyString[1] = {0};
wchar16 g_auiEmptyStringW[1] = {0};

// Room for uiLength units and a terminator; running out of memory here is fatal.
template <typename T>
T* allocText(u32 uiLength) {
  const size_t uiBytes = (static_cast<size_t>(uiLength) + 1) * sizeof(T);
  void* pBlock = KvAlignedAlloc(uiBytes, 16);
  if (!pBlock) {
    KV_FATALF("Out of memory for a string of %zu bytes!", uiBytes);
  }
  return static_cast<T*>(pBlock);
}

// Decimal text of a signed 32-bit value, built from the least significant digit; at most 11 characters.
// The magnitude is taken unsigned so the most negative value has its own digits.
u32 formatDecimal(char* pOut, i32 iValue) {
  u32 uiMagnitude = iValue < 0 ? 0u - static_cast<u32>(iValue) : static_cast<u32>(iValue);
  char acDigits[10];
  u32 uiDigits = 0;
  do {
    acDigits[uiDigits++] = static_cast<char>('0' + uiMagnitude % 10);
    uiMagnitude /= 10;
  } while (uiMagnitude != 0);
  u32 uiOut = 0;
  if (iValue < 0) {
    pOut[uiOut++] = '-';
  }
  while (uiDigits > 0) {
    pOut[uiOut++] = acDigits[--uiDigits];
  }
  pOut[uiOut] = 0;
  return uiOut;
}

}  // namespace

String::String() : mLength(0), mData(g_acEmptyString) {}

String::String(const char* pSource) : mLength(0), mData(g_acEmptyString) {
  assign(pSource ? pSource : "", pSource ? KvStrLen(pSource) : 0);
}

String::String(const String& object) : mLength(0), mData(g_acEmptyString) {
  KV_ASSERT(KvStrLen(object.mData) == object.mLength);
  assign(object.mData, object.mLength);
  KV_ASSERT(mData[mLength]==0);
}

String::~String() { release(); }

void String::release() {
  if (mData != g_acEmptyString) {
    KvAlignedFree(mData);
  }
  mData = g_acEmptyString;
  mLength = 0;
}

void String::assign(const char* pSource, u32 uiLength) {
  char* pNew = allocText<char>(uiLength);
  std::memcpy(pNew, pSource, uiLength);
  pNew[uiLength] = 0;
  release();
  mData = pNew;
  mLength = uiLength;
}

String& String::operator=(const char* pSource) {
  assign(pSource ? pSource : "", pSource ? KvStrLen(pSource) : 0);
  return *this;
}

String& String::operator=(const String& object) {
  if (this != &object) {
    assign(object.mData, object.mLength);
  }
  return *this;
}

bool String::operator==(const char* pText) const {
  KvCheckPointer(pText);
  return std::strcmp(mData, pText) == 0;
}

String& String::operator+=(const String& other) {
  if (other.mLength == 0) {
    return *this;
  }
  // Both texts are copied before the old buffer goes, so other may be this string.
  const u32 uiLength = mLength + other.mLength;
  char* pNew = allocText<char>(uiLength);
  std::memcpy(pNew, mData, mLength);
  std::memcpy(pNew + mLength, other.mData, other.mLength);
  pNew[uiLength] = 0;
  release();
  mData = pNew;
  mLength = uiLength;
  return *this;
}

String& String::operator+=(const char* pSource) { return *this += String(pSource); }

String& String::operator+=(i32 iValue) {
  char acText[12];
  formatDecimal(acText, iValue);
  return *this += acText;
}

String String::operator+(i32 iValue) const {
  String result(*this);
  result += iValue;
  return result;
}

String String::operator+(const String& other) const {
  String result(*this);
  result += other;
  return result;
}

String String::subString(u32 uiStart, u32 uiCount) const {
  KV_ASSERT(uiStart <= mLength);
  if (uiCount == npos) {
    uiCount = mLength - uiStart;
  }
  KV_ASSERT(uiCount <= mLength - uiStart);
  String result;
  result.assign(mData + uiStart, uiCount);
  return result;
}

String& String::replaceHyphensWithUnderscores() {
  // Non-empty texts are always private copies, so writing in place never touches the shared empty string.
  for (u32 i = 0; i < mLength; ++i) {
    if (mData[i] == '-') {
      mData[i] = '_';
    }
  }
  return *this;
}

String String::withTShirtSuffix() const {
  String result(*this);
  result += "TShirt";
  return result;
}

StringW::StringW() : mLength(0), mData(g_auiEmptyStringW) {}

StringW::StringW(const wchar16* pSource) : mLength(0), mData(g_auiEmptyStringW) {
  KvCheckPointer(pSource);
  assign(pSource, KvStrLenW(pSource));
}

StringW::StringW(const StringW& object) : mLength(0), mData(g_auiEmptyStringW) {
  assign(object.mData, object.mLength);
}

StringW::~StringW() { release(); }

void StringW::release() {
  if (mData != g_auiEmptyStringW) {
    KvAlignedFree(mData);
  }
  mData = g_auiEmptyStringW;
  mLength = 0;
}

void StringW::assign(const wchar16* pSource, u32 uiLength) {
  wchar16* pNew = allocText<wchar16>(uiLength);
  std::memcpy(pNew, pSource, uiLength * sizeof(wchar16));
  pNew[uiLength] = 0;
  release();
  mData = pNew;
  mLength = uiLength;
}

StringW& StringW::operator=(const StringW& object) {
  if (this != &object) {
    assign(object.mData, object.mLength);
  }
  return *this;
}

void StringW::unescape() {
  // An empty text has nothing to unescape (and may be the shared empty string, which is never written).
  if (mLength == 0) {
    return;
  }
  // The output never runs ahead of the input, so the text is rewritten in place.
  u32 uiOut = 0;
  u32 i = 0;
  while (i < mLength - 1) {
    if (mData[i] == u'\\' && mData[i + 1] == u'"') {
      mData[uiOut++] = u'"';
      i += 2;
    } else if (mData[i] == u'\\' && mData[i + 1] == u'n') {
      mData[uiOut++] = 10;
      i += 2;
    } else {
      mData[uiOut++] = mData[i++];
    }
  }
  if (i == mLength - 1) {
    mData[uiOut++] = mData[i];
  }
  mData[uiOut] = 0;
  mLength = uiOut;
}
