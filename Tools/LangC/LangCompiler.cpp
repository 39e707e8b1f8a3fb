#include "Tools/LangC/LangCompiler.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <sstream>

#include "Corvane/ADT/KvStrHash.h"
#include "Corvane/Memory/KvAlloc.h"
#include "Corvane/Language/KvLangID.h"
#include "Tools/Common/ToolFiles.h"
#include "Tools/Common/ToolText.h"

namespace {

bool isKeyChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '.' ||
         c == '-';
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string trim(const std::string& text) {
  size_t uiStart = 0;
  size_t uiEnd = text.size();
  while (uiStart < uiEnd && isBlank(text[uiStart])) {
    ++uiStart;
  }
  while (uiEnd > uiStart && isBlank(text[uiEnd - 1])) {
    --uiEnd;
  }
  return text.substr(uiStart, uiEnd - uiStart);
}

bool appendCodePoint(std::u16string* pText, std::uint32_t uiCode, std::string* pWhat) {
  if (uiCode == 0) {
    *pWhat = "the zero code point would end the text";
    return false;
  }
  if (uiCode >= 0xD800 && uiCode <= 0xDFFF) {
    *pWhat = "a surrogate code point is not a character";
    return false;
  }
  if (uiCode > 0x10FFFF) {
    *pWhat = "code point beyond U+10FFFF";
    return false;
  }
  if (uiCode >= 0x10000) {
    uiCode -= 0x10000;
    pText->push_back(static_cast<char16_t>(0xD800 + (uiCode >> 10)));
    pText->push_back(static_cast<char16_t>(0xDC00 + (uiCode & 0x3FF)));
  } else {
    pText->push_back(static_cast<char16_t>(uiCode));
  }
  return true;
}

// One UTF-8 sequence at text[*pAt]; advances past it.
bool decodeUtf8(const std::string& text, size_t* pAt, std::uint32_t* pCode) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(*pAt);
  int iMore = 0;
  std::uint32_t uiCode = 0;
  std::uint32_t uiMin = 0;
  if (lead < 0x80) {
    *pCode = lead;
    ++*pAt;
    return true;
  } else if ((lead & 0xE0) == 0xC0) {
    iMore = 1, uiCode = lead & 0x1F, uiMin = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    iMore = 2, uiCode = lead & 0x0F, uiMin = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    iMore = 3, uiCode = lead & 0x07, uiMin = 0x10000;
  } else {
    return false;
  }
  if (*pAt + static_cast<size_t>(iMore) >= text.size()) {
    return false;
  }
  for (int i = 1; i <= iMore; ++i) {
    const unsigned char next = byte(*pAt + static_cast<size_t>(i));
    if ((next & 0xC0) != 0x80) {
      return false;
    }
    uiCode = (uiCode << 6) | (next & 0x3F);
  }
  if (uiCode < uiMin) {  // overlong form
    return false;
  }
  *pAt += static_cast<size_t>(iMore) + 1;
  *pCode = uiCode;
  return true;
}

bool parseHex(const std::string& text, size_t uiAt, int iDigits, std::uint32_t* pCode) {
  if (uiAt + static_cast<size_t>(iDigits) > text.size()) {
    return false;
  }
  std::uint32_t uiCode = 0;
  for (int i = 0; i < iDigits; ++i) {
    const char c = text[uiAt + static_cast<size_t>(i)];
    int iDigit;
    if (c >= '0' && c <= '9') {
      iDigit = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      iDigit = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
      iDigit = c - 'A' + 10;
    } else {
      return false;
    }
    uiCode = uiCode * 16 + static_cast<std::uint32_t>(iDigit);
  }
  *pCode = uiCode;
  return true;
}

// Parses the text of an entry; on an error *puiAt is where in the value it lies.
bool parseValue(const std::string& value, std::u16string* pText, std::string* pWhat, size_t* puiAt) {
  size_t& uiAt = *puiAt;
  uiAt = 0;
  while (uiAt < value.size()) {
    std::uint32_t uiCode = 0;
    if (value[uiAt] != '\\') {
      const size_t uiStart = uiAt;
      if (!decodeUtf8(value, &uiAt, &uiCode)) {
        *pWhat = "malformed UTF-8";
        return false;
      }
      if (!appendCodePoint(pText, uiCode, pWhat)) {
        uiAt = uiStart;
        return false;
      }
      continue;
    }
    if (uiAt + 1 >= value.size()) {
      *pWhat = "a backslash ends the text (write \\\\ for a backslash)";
      return false;
    }
    const char escape = value[uiAt + 1];
    const size_t uiEscape = uiAt;
    uiAt += 2;
    switch (escape) {
      case 'n':
        pText->push_back(u'\n');
        break;
      case 't':
        pText->push_back(u'\t');
        break;
      case 's':
        pText->push_back(u' ');
        break;
      case '\\':
        pText->push_back(u'\\');
        break;
      case 'u':
      case 'U': {
        const int iDigits = escape == 'u' ? 4 : 8;
        if (!parseHex(value, uiAt, iDigits, &uiCode)) {
          uiAt = uiEscape;
          *pWhat = std::string("\\") + escape + " needs " + std::to_string(iDigits) + " hex digits";
          return false;
        }
        uiAt += static_cast<size_t>(iDigits);
        if (!appendCodePoint(pText, uiCode, pWhat)) {
          uiAt = uiEscape;
          return false;
        }
        break;
      }
      default:
        uiAt = uiEscape;
        *pWhat = std::string("unknown escape \\") + escape;
        return false;
    }
  }
  return true;
}

void putU32(std::vector<std::uint8_t>* pImage, size_t uiOffset, std::uint32_t uiValue) {
  for (int i = 0; i < 4; ++i) {
    (*pImage)[uiOffset + static_cast<size_t>(i)] = static_cast<std::uint8_t>(uiValue >> (8 * i));
  }
}

}  // namespace

bool LangParseSource(const std::string& source, const std::string& fileName, std::vector<LangEntry>* pEntries,
                     std::string* pError) {
  std::string text = source;
  if (!ToolPrepareText(&text, fileName, pError)) {
    return false;
  }
  std::istringstream lines(text);
  std::string line;
  int iLine = 0;
  std::map<std::int32_t, size_t> byHash;  // hash -> index in entries
  std::vector<LangEntry> entries;
  // Columns count from 1 at the start of the line.
  const auto fail = [&](size_t uiColumn, const std::string& what) {
    *pError = ToolErrorAt(fileName, iLine, static_cast<int>(uiColumn), what);
    return false;
  };
  const auto firstNonBlank = [&line](size_t uiFrom) {
    while (uiFrom < line.size() && isBlank(line[uiFrom])) {
      ++uiFrom;
    }
    return uiFrom;
  };
  while (std::getline(lines, line)) {
    ++iLine;
    const size_t uiStart = firstNonBlank(0);
    const std::string trimmed = trim(line);
    if (trimmed.empty() || trimmed[0] == '#') {
      continue;
    }
    const size_t uiEquals = line.find('=');
    if (uiEquals == std::string::npos) {
      return fail(uiStart + 1, "expected KEY = text");
    }
    LangEntry entry;
    entry.key = trim(line.substr(0, uiEquals));
    entry.iLine = iLine;
    if (entry.key.empty()) {
      return fail(uiEquals + 1, "missing key before '='");
    }
    for (char c : entry.key) {
      if (!isKeyChar(c)) {
        return fail(uiStart + 1, "key '" + entry.key + "' may hold only letters, digits, '_', '.' and '-'");
      }
    }
    std::string what;
    size_t uiAt = 0;
    const size_t uiValue = firstNonBlank(uiEquals + 1);
    if (!parseValue(trim(line.substr(uiEquals + 1)), &entry.text, &what, &uiAt)) {
      return fail(uiValue + uiAt + 1, what);
    }
    const std::int32_t iHash = static_cast<std::int32_t>(KvStrHash(entry.key.c_str()));
    const auto [it, bInserted] = byHash.emplace(iHash, entries.size());
    if (!bInserted) {
      const LangEntry& first = entries[it->second];
      if (first.key == entry.key) {
        return fail(uiStart + 1, "key '" + entry.key + "' is already defined on line " + std::to_string(first.iLine));
      }
      return fail(uiStart + 1, "key '" + entry.key + "' has the same name hash as '" + first.key + "' on line " +
                                   std::to_string(first.iLine));
    }
    entries.push_back(std::move(entry));
  }
  *pEntries = std::move(entries);
  return true;
}

std::vector<std::uint8_t> LangBuildTable(const std::vector<LangEntry>& entries) {
  std::vector<const LangEntry*> sorted;
  for (const LangEntry& entry : entries) {
    sorted.push_back(&entry);
  }
  const auto keyOf = [](const LangEntry* pEntry) { return static_cast<std::int32_t>(KvStrHash(pEntry->key.c_str())); };
  std::stable_sort(sorted.begin(), sorted.end(),
                   [&](const LangEntry* pA, const LangEntry* pB) { return keyOf(pA) < keyOf(pB); });
  const size_t uiCount = sorted.size();
  const size_t uiTableOffset = sizeof(SStringTableHeader);
  const size_t uiPairsOffset = uiTableOffset + 4 * uiCount;
  size_t uiTextOffset = uiPairsOffset + sizeof(SStringValuePair) * uiCount;
  std::vector<std::uint8_t> image(uiTextOffset, 0);
  putU32(&image, 0, static_cast<std::uint32_t>(uiTableOffset));
  putU32(&image, 8, static_cast<std::uint32_t>(uiCount));
  for (size_t i = 0; i < uiCount; ++i) {
    const size_t uiPair = uiPairsOffset + sizeof(SStringValuePair) * i;
    putU32(&image, uiTableOffset + 4 * i, static_cast<std::uint32_t>(uiPair));
    putU32(&image, uiPair, static_cast<std::uint32_t>(uiTextOffset));
    putU32(&image, uiPair + 8, static_cast<std::uint32_t>(keyOf(sorted[i])));
    for (char16_t unit : sorted[i]->text) {
      image.push_back(static_cast<std::uint8_t>(unit & 0xFF));
      image.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    image.push_back(0);
    image.push_back(0);
    uiTextOffset = image.size();
  }
  return image;
}

bool LangCompileFile(const std::string& sourcePath, const std::string& outputPath, std::string* pError) {
  std::string text;
  if (!ToolReadTextSource(sourcePath, &text, pError)) {
    return false;
  }
  std::vector<LangEntry> entries;
  if (!LangParseSource(text, sourcePath, &entries, pError)) {
    return false;
  }
  const std::vector<std::uint8_t> image = LangBuildTable(entries);
  std::string why;
  if (!ToolWriteFile(outputPath, image.data(), image.size(), &why)) {
    *pError = outputPath + ": error: " + why;
    return false;
  }
  return true;
}

bool LangCheckTable(const std::string& tablePath, std::string* pError) {
  std::string bytes;
  std::string why;
  if (!ToolReadFile(tablePath, &bytes, &why)) {
    *pError = tablePath + ": error: cannot open the file (it " + why + ")";
    return false;
  }
  KvLangID::initialize();
  u8* pImage = static_cast<u8*>(KvAlignedAlloc(bytes.size(), 16));
  std::memcpy(pImage, bytes.data(), bytes.size());
  // The game loads every table it reads requiring texts: a table without pairs is refused as it would be there.
  if (!KvLangID::loadStringTableImage("Check", pImage, static_cast<u32>(bytes.size()), nullptr,
                                      [](void*, u8* pTable) { KvAlignedFree(pTable); }, nullptr, true)) {
    *pError = tablePath + ": error: the engine does not load it: " + KvLangID::getLastError();
    return false;
  }
  const SStringTable* pTable = KvLangID::getTable(0);
  for (i32 i = 0; i < pTable->m_iNumPairs; ++i) {
    if (KvLangID::findInTable(pTable, static_cast<u32>(pTable->mp_piSortedKeys[i])) == nullptr) {
      *pError = tablePath + ": error: the engine does not find the key of pair " + std::to_string(i);
      KvLangID::unloadAllStringTables();
      return false;
    }
  }
  KvLangID::unloadAllStringTables();
  return true;
}
