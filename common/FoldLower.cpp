#include "common/FoldLower.h"

#include <array>

namespace {

// FoldLowerByte for every byte: names are short, and a lookup per byte beats
// comparing ranges.
constexpr std::array<uint8_t, 256> kFold = [] {
  std::array<uint8_t, 256> t{};
  for (unsigned c = 0; c < 256; ++c) t[c] = FoldLowerByte(static_cast<uint8_t>(c));
  return t;
}();

}  // namespace

std::string FoldLower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(kFold[static_cast<uint8_t>(c)]);
  return out;
}
