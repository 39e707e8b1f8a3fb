// The string-table compiler: UTF-8 text sources in, ".lang" string tables out (layout in
// Corvane/Language/KvLangID.h: texts in UTF-16LE, pairs ordered by the signed name hash of their key).
//
// Source syntax, one entry a line:
//
//   # A line whose first non-blank character is '#' is a comment; blank lines are ignored.
//   KEY = The text of the key
//   MB_EXAMPLE = Two lines:\nthe second one, 100% escaped: \\n stays a backslash and an n
//
// - The key is made of letters, digits, '_', '.' and '-'; it is hashed with the engine's name hash, which
//   ignores case, so two keys that hash alike (or one key given twice) are an error naming both lines.
// - The text is everything after the first '=', with blanks (spaces and tabs) trimmed at both ends; it may
//   be empty. Escapes: \n line feed, \t tab, \\ backslash, \s a space (to keep blanks at either end),
//   \uXXXX a code point of four hex digits, \UXXXXXXXX one of eight (above U+FFFF it becomes a surrogate
//   pair). Any other backslash is an error. The zero code point and surrogate code points are refused.
// - The file is UTF-8, read as every tool reads its text sources (Tools/Common/ToolText.h: a leading
//   byte-order mark skipped, a zero byte refused); a malformed sequence is an error.
// - Placeholders such as "%d" and "%s" are ordinary text to the compiler.
//
// Errors read "file:line:column: error: what".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct LangEntry {
  std::string key;
  std::u16string text;
  int iLine = 0;
};

// Parses source text. False with "fileName:line:column: error: what" in pError at the first error.
bool LangParseSource(const std::string& source, const std::string& fileName, std::vector<LangEntry>* pEntries,
                     std::string* pError);

// The table image of the entries: header, pair offsets in key order, pairs, then the texts.
std::vector<std::uint8_t> LangBuildTable(const std::vector<LangEntry>& entries);

// Reads a source file and writes its table (through a temporary file renamed into place). False with a
// message naming the file.
bool LangCompileFile(const std::string& sourcePath, const std::string& outputPath, std::string* pError);

// Loads a table with the engine's string-table loader, as the game loads its tables (a table without texts is
// refused), and looks every key up in it. False with a message naming the file when the engine refuses it.
bool LangCheckTable(const std::string& tablePath, std::string* pError);
