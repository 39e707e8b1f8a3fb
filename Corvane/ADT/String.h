// Small owning strings: String holds 8-bit text, StringW UTF-16 code units.
//
// The text is either a private copy (length + 1 units, 16-byte aligned, from KvAlignedAlloc) or, for a
// default-constructed string, one shared static empty string that is never written or freed. Construction
// and assignment always make a private copy; destruction and assignment free the old private copy. A
// failed allocation is a fatal error. getCStr stays valid until the string is next changed or destroyed.
// No shared state beyond the read-only empty strings: distinct strings may be used on any thread.
//
// Several operators have named equivalents (assignCStr, appendCStr, appendInt, plusInt, concat, equalsCStr,
// notEqualsCStr); both spellings do the same thing.
#pragma once

#include "Corvane/System/KvTypes.h"

class String {
 public:
  // subString count meaning "up to the end of the text".
  static constexpr u32 npos = 0xFFFFFFFFu;

  String();
  // A null source gives an empty string with its own one-byte buffer.
  String(const char* pSource);
  String(const String& object);
  virtual ~String();

  String& operator=(const char* pSource);
  String& operator=(const String& object);
  String& assignCStr(const char* pSource) { return *this = pSource; }

  // Byte-wise comparison with a zero-terminated text, terminator included.
  bool operator==(const char* pText) const;
  bool operator!=(const char* pText) const { return !(*this == pText); }
  bool equalsCStr(const char* pText) const { return *this == pText; }
  bool notEqualsCStr(const char* pText) const { return *this != pText; }

  // Appending a string to itself doubles its text.
  String& operator+=(const String& other);
  String& operator+=(const char* pSource);
  // Appends the decimal text of iValue ("-" in front of negative values).
  String& operator+=(i32 iValue);
  String& appendCStr(const char* pSource) { return *this += pSource; }
  String& appendInt(i32 iValue) { return *this += iValue; }

  String operator+(i32 iValue) const;
  String operator+(const String& other) const;
  String plusInt(i32 iValue) const { return *this + iValue; }
  String concat(const String& other) const { return *this + other; }

  // uiCount characters from uiStart; npos (or -1) takes the rest. The range must lie within the text.
  String subString(u32 uiStart, u32 uiCount) const;
  // Every "-" becomes "_", in place.
  String& replaceHyphensWithUnderscores();
  // This text followed by "TShirt": the name of an enemy's T-shirt variant.
  String withTShirtSuffix() const;

  const char* getCStr() const { return mData; }
  u32 getLength() const { return mLength; }

 private:
  // Replaces the text by a private copy of uiLength characters from pSource (which may lie in the old text).
  void assign(const char* pSource, u32 uiLength);
  void release();

  u32 mLength;
  char* mData;
};

class StringW {
 public:
  StringW();
  // The source must be a valid pointer (checked).
  StringW(const wchar16* pSource);
  StringW(const StringW& object);
  virtual ~StringW();

  StringW& operator=(const StringW& object);

  // In place: backslash + double quote becomes a double quote, backslash + "n" a line feed; any other
  // backslash stays as it is.
  void unescape();

  const wchar16* getCStr() const { return mData; }
  u32 getLength() const { return mLength; }

 private:
  void assign(const wchar16* pSource, u32 uiLength);
  void release();

  u32 mLength;
  wchar16* mData;
};
