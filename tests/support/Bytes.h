// Little-endian fields appended to hand-made file images (archive records,
// package directories).
#pragma once

#include <cstdint>
#include <string>

// The low 16 bits of v.
inline void Put16(std::string& s, uint32_t v) {
  s += char(v & 0xFF), s += char((v >> 8) & 0xFF);
}
inline void Put32(std::string& s, uint32_t v) {
  Put16(s, v & 0xFFFF), Put16(s, v >> 16);
}
