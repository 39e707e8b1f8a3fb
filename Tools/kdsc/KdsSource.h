// Text form of data scripts and its compiler into the ".kds" layout read by ClDScriptMgr2.
//
// Syntax (a file is the list of the root array's children):
//
//   // comment to the end of the line; /* block comments */ too
//   Name = value            a named value; names are identifiers (letters, digits, "_") or "quoted text"
//   value                   an unnamed value (a list element)
//   Values are separated by commas or line ends.
//
//   12, -3, 0x1F            INT (32 bits; hexadecimal up to 0xFFFFFFFF gives the bits)
//   1.5, -0.25, 2e3         FLOAT (a "." or an exponent makes a float)
//   "text"                  STRING, with escapes \" \\ \n \r \t \xHH
//   #noLoop, #"two words"   HASH_ID: the text and its name hash
//   [ a, b ] or { A = 1 }   ARRAY (either bracket pair; elements named or not, mixed freely)
//   1.5 .. 3                a range: the array { Min = 1.5, Max = 3 }
//
// Names in one array must differ by name hash (letter case does not count). Lists nest at most
// gc_iKDS_MAX_DEPTH deep (a range counts as a list), and the texts and names of one script come to at most
// gc_uiKDS_MAX_TEXT_BYTES: the limits of the engine's loader, so that it loads everything compiled. The text is
// read as every tool reads its sources (Tools/Common/ToolText.h: a byte-order mark skipped, a zero byte
// refused). Errors name the file, the line and the column.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Corvane/Data/ClDScriptMgr2.h"

struct SKdsSourceNode {
  std::string name;
  bool bNamed = false;
  E_DSCT eType = E_DSCT_ARRAY;
  int32_t iValue = 0;
  float fValue = 0.0f;
  std::string text;  // STRING and HASH_ID
  std::vector<SKdsSourceNode> children;
  int iLine = 0;
  int iColumn = 0;
};

// Parses the text of a script into its root (an unnamed array). On an error answers false and sets pError
// to "file:line:column: error: message".
bool KdsParseSource(const std::string& text, const std::string& fileName, SKdsSourceNode* pRoot,
                    std::string* pError);

// False with a message when a tree goes beyond what the engine's loader takes or 32-bit offsets reach.
bool KdsCheckLimits(const SKdsSourceNode& root, const std::string& fileName, std::string* pError);

// Lays a tree out as a ".kds" image. Names and hash ids are hashed with KvStrHash. Every named value and every
// hash id has a name record of its own, so a loader that relocates the file in place meets each record once;
// the characters of equal texts and names are stored once.
std::vector<uint8_t> KdsWriteImage(const SKdsSourceNode& root);

// Reads a text file, checks its limits and compiles it; false with a message on an error.
bool KdsCompileFile(const std::string& inputPath, std::vector<uint8_t>* pImage, std::string* pError);
