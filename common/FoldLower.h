// The name fold of the receiver and the installer: Latin capitals and the
// Cyrillic capitals of code page 1251 to lower case, whatever the locale.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// 0x41..0x5A -> +0x20, 0xC0..0xDF -> +0x20, 0xA8 -> 0xB8; every other byte stays.
constexpr uint8_t FoldLowerByte(uint8_t c) {
  if ((c >= 0x41 && c <= 0x5A) || (c >= 0xC0 && c <= 0xDF)) return c + 0x20;
  return c == 0xA8 ? 0xB8 : c;
}

std::string FoldLower(std::string_view s);
