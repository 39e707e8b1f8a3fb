// Text sources of the offline tools (data scripts, string tables, archive manifests, effect sources and the JSON
// descriptions of screens, sound banks and atlases), read one way by all.
//
// - A leading UTF-8 byte-order mark is skipped; the columns of messages count from after it.
// - A zero byte anywhere is an error: it would end a text early once compiled.
// - Lines end at LF; a CR before it belongs to the line end. Columns count bytes from 1.
// Errors read "file:line:column: error: what".
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The message of an error at a place in a text source.
std::string ToolErrorAt(const std::string& fileName, int iLine, int iColumn, const std::string& what);

// Checks and prepares a text source already in memory: the byte-order mark taken off, zero bytes refused.
// False with the message in pError.
bool ToolPrepareText(std::string* pText, const std::string& fileName, std::string* pError);

// Reads a text source and prepares it. False with a message naming the file when it cannot be read or is
// refused.
bool ToolReadTextSource(const std::string& path, std::string* pText, std::string* pError);

// One word of a line and the column (from 1) where it starts.
struct SToolWord {
  std::string text;
  int iColumn = 0;
};

// Splits one line into words separated by blanks (spaces and tabs). A word may be written in double quotes to
// hold blanks; inside quotes \" stands for a quote and \\ for a backslash. False with the column of an
// unfinished quoted word.
bool ToolSplitWords(const std::string& line, std::vector<SToolWord>* pWords, int* piBadColumn);

// Quotes a word for ToolSplitWords when it holds blanks, quotes or backslashes, or is empty.
std::string ToolQuoteWord(const std::string& word);

// Text taken from a file, made safe for a one-line message on a terminal: control bytes (below 0x20, 0x7F and
// the UTF-8 forms of U+0080..U+009F) and bytes that are not part of well-formed UTF-8 become "\xNN"; everything
// else, backslashes included, stays as it is.
std::string ToolEscapeText(std::string_view text);

// Bytes from a file made well-formed UTF-8 for a JSON document: well-formed sequences stay, every other byte
// stands for the character of its value (0xE9 becomes U+00E9), so distinct bytes stay distinct in the output.
std::string ToolUtf8Text(std::string_view bytes);

// Prints an error message on standard error as one line, escaped with ToolEscapeText.
void ToolPrintError(const std::string& message);
