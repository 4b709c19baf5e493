// The automation identity of the server: its type library, the IAcceptor
// interface and the Acceptor class. They never change: registered clients
// and scripts refer to them.
//
// This is their one source. The build reads the three texts below for the
// type library (widl -DQRVX_LIBID=... compiles receiver/qrvx.idl) and for the
// Wine test scripts, so each stays a line of the form
//   #define QRVX_<NAME>_TEXT "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX"
#pragma once

#include <windows.h>

#define QRVX_LIBID_TEXT "3C86BF94-8932-4E97-9B38-66C71EEA9A7E"
#define QRVX_IID_IACCEPTOR_TEXT "B48D6CB4-E63B-491E-958F-B90774817DB8"
#define QRVX_CLSID_ACCEPTOR_TEXT "7806FC75-04C2-45B7-A723-3DC129D6344A"

namespace qrvx_guid {

constexpr unsigned HexDigit(char c) {
  if (c >= '0' && c <= '9') return unsigned(c - '0');
  if (c >= 'A' && c <= 'F') return unsigned(c - 'A' + 10);
  if (c >= 'a' && c <= 'f') return unsigned(c - 'a' + 10);
  throw "a GUID text holds a character that is no hexadecimal digit";
}

// The value of the n hexadecimal digits at t[at].
constexpr unsigned long long Hex(const char* t, int at, int n) {
  unsigned long long v = 0;
  for (int i = 0; i < n; ++i) v = v << 4 | HexDigit(t[at + i]);
  return v;
}

// "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX" as a GUID; a malformed text does not
// compile where the result must be a constant.
constexpr GUID FromText(const char (&t)[37]) {
  if (t[8] != '-' || t[13] != '-' || t[18] != '-' || t[23] != '-')
    throw "a GUID text has its dashes misplaced";
  GUID g{};
  g.Data1 = static_cast<decltype(g.Data1)>(Hex(t, 0, 8));
  g.Data2 = static_cast<decltype(g.Data2)>(Hex(t, 9, 4));
  g.Data3 = static_cast<decltype(g.Data3)>(Hex(t, 14, 4));
  g.Data4[0] = static_cast<unsigned char>(Hex(t, 19, 2));
  g.Data4[1] = static_cast<unsigned char>(Hex(t, 21, 2));
  for (int i = 0; i < 6; ++i) g.Data4[2 + i] = static_cast<unsigned char>(Hex(t, 24 + 2 * i, 2));
  return g;
}

}  // namespace qrvx_guid

inline constexpr GUID kLIBID_QRVX = qrvx_guid::FromText(QRVX_LIBID_TEXT);
inline constexpr GUID kIID_IAcceptor = qrvx_guid::FromText(QRVX_IID_IACCEPTOR_TEXT);
inline constexpr GUID kCLSID_Acceptor = qrvx_guid::FromText(QRVX_CLSID_ACCEPTOR_TEXT);
