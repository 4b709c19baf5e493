#include "common/FoldLower.h"

std::string FoldLower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(FoldLowerByte(static_cast<uint8_t>(c)));
  return out;
}
