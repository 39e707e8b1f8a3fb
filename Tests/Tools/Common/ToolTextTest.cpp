// What the tools print of the bytes of a file: escaped for a terminal in messages, well-formed UTF-8 in JSON.
#include <gtest/gtest.h>

#include <string>

#include "Tools/Common/ToolText.h"

namespace {

TEST(ToolEscapeText, ControlBytesAndBrokenUtf8BecomeHexAndTheRestStays) {
  struct SCase {
    std::string in;
    std::string out;
  };
  const SCase cases[] = {
      {"plain text, [brackets] \\ and \"quotes\"", "plain text, [brackets] \\ and \"quotes\""},
      {std::string("a\0b", 3), "a\\x00b"},
      {"line\nbreak\r\ttab\x1B[31mred\x7F", "line\\x0Abreak\\x0D\\x09tab\\x1B[31mred\\x7F"},
      {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},
      {"\xE9t\xE9", "\\xE9t\\xE9"},                       // Latin-1 bytes
      {"\xC2\x9B" "2J", "\\xC2\\x9B2J"},                  // a C1 control written in UTF-8
      {"\xC0\xAF \xED\xA0\x80 \xF4\x90\x80\x80", "\\xC0\\xAF \\xED\\xA0\\x80 \\xF4\\x90\\x80\\x80"},  // overlong, surrogate, too high
      {"cut \xE2\x82", "cut \\xE2\\x82"},
  };
  for (const SCase& test : cases) {
    EXPECT_EQ(ToolEscapeText(test.in), test.out) << test.out;
  }
}

TEST(ToolUtf8Text, WellFormedTextStaysAndEveryOtherByteStandsForItsCharacter) {
  struct SCase {
    std::string in;
    std::string out;
  };
  const SCase cases[] = {
      {"Punch01.wav", "Punch01.wav"},
      {"caf\xC3\xA9", "caf\xC3\xA9"},
      {"caf\xE9.wav", "caf\xC3\xA9.wav"},
      {"\xFF\x80", "\xC3\xBF\xC2\x80"},
      {"\xE2\x82 x", "\xC3\xA2\xC2\x82 x"},
      {std::string("\x01\0", 2), std::string("\x01\0", 2)},  // control bytes are JSON's to escape
  };
  for (const SCase& test : cases) {
    EXPECT_EQ(ToolUtf8Text(test.in), test.out);
  }
}

}  // namespace
