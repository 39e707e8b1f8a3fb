// Text from a file shown in a tool's message: control bytes are written as \xNN, so a
// damaged file cannot move the cursor, clear the terminal or split one message over lines. Bytes from 0x80 up
// stay as they are, so UTF-8 names read as written.
#pragma once

#include <string>
#include <string_view>

inline std::string ToolEscapeControlBytes(std::string_view text) {
  static constexpr char gc_acHEX[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const unsigned char uc = static_cast<unsigned char>(c);
    if (uc < 0x20 || uc == 0x7F) {
      out += "\\x";
      out += gc_acHEX[uc >> 4];
      out += gc_acHEX[uc & 15];
    } else {
      out += c;
    }
  }
  return out;
}
