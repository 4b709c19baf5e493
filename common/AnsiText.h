// The ANSI case rule: text in the system's ANSI code page compared as the
// locale compares it (CompareStringA, case ignored), so that every letter of
// the code page meets its other case, not only the ASCII ones. Names a user
// types (archive and folder names, table columns) are compared this way;
// names of the formats follow the ASCII rule of Ascii.h.
#pragma once

#include <windows.h>

#include <string_view>

inline bool AnsiSameText(std::string_view a, std::string_view b,
                         LCID locale = LOCALE_USER_DEFAULT) {
  return CompareStringA(locale, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()), b.data(),
                        static_cast<int>(b.size())) == CSTR_EQUAL;
}
