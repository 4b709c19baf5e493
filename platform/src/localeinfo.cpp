// Locale information: the user's number and date settings. There is no user
// profile here, so every locale answers the same fixed defaults unless a test
// has replaced an item with QrvxSetLocaleInfo.
#include <windows.h>

#include <cstring>
#include <map>
#include <mutex>
#include <string>

namespace {

std::mutex g_lock;
std::map<LCTYPE, std::string>& Overrides() {
  static std::map<LCTYPE, std::string> m;
  return m;
}

// Order of the short date by the position of its day, month and year fields,
// as LOCALE_IDATE gives it.
const char* DateOrder(const char* fmt) {
  const char* d = std::strpbrk(fmt, "dD");
  const char* m = std::strchr(fmt, 'M');
  const char* y = std::strpbrk(fmt, "yY");
  const char* end = fmt + std::strlen(fmt);
  if (!d) d = end;
  if (!m) m = end;
  if (!y) y = end;
  if (y < d && y < m) return "2";
  if (m < d) return "0";
  return "1";
}

// The user's value of item, or the system default with noOverride.
bool Lookup(LCTYPE item, bool noOverride, std::string& out) {
  std::lock_guard<std::mutex> guard(g_lock);
  static std::map<LCTYPE, std::string> none;
  auto& ov = noOverride ? none : Overrides();
  auto it = ov.find(item);
  if (it != ov.end()) {
    out = it->second;
    return true;
  }
  const char* def = nullptr;
  switch (item) {
    case LOCALE_SDECIMAL: def = "."; break;
    case LOCALE_STHOUSAND: def = ","; break;
    case LOCALE_SDATE: def = "/"; break;
    case LOCALE_SSHORTDATE: def = "dd/MM/yyyy"; break;
    case LOCALE_SLONGDATE: def = "dd MMMM yyyy"; break;
    case LOCALE_IDATE: {
      auto sd = ov.find(LOCALE_SSHORTDATE);
      def = DateOrder(sd != ov.end() ? sd->second.c_str() : "dd/MM/yyyy");
      break;
    }
  }
  if (!def) return false;
  out.assign(def, std::strlen(def));
  return true;
}

}  // namespace

/***********************************************************************
 * GetLocaleInfoA (KERNEL32.@)
 * Fixed defaults ("." decimal, "," thousands, dd/MM/yyyy dates) unless a
 * test sets its own with QrvxSetLocaleInfo; LOCALE_NOUSEROVERRIDE reads the
 * defaults.
 * RETURNS the characters copied (or needed, cchData 0) with the NUL; 0 with
 *         ERROR_INVALID_FLAGS or ERROR_INSUFFICIENT_BUFFER.
 */
extern "C" int WINAPI GetLocaleInfoA(LCID, LCTYPE LCType, LPSTR lpLCData, int cchData) {
  std::string value;
  if ((LCType & LOCALE_RETURN_NUMBER) ||
      !Lookup(LCType & ~LOCALE_NOUSEROVERRIDE, (LCType & LOCALE_NOUSEROVERRIDE) != 0, value)) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  int need = static_cast<int>(value.size()) + 1;
  if (cchData == 0) return need;
  if (cchData < need || !lpLCData) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(lpLCData, value.c_str(), need);
  return need;
}

/***********************************************************************
 * QrvxSetLocaleInfo (stand-in only)
 * Sets the user's value of one LCTYPE, removes it (NULL), or all (LCType 0).
 */
extern "C" void QrvxSetLocaleInfo(LCTYPE LCType, LPCSTR value) {
  std::lock_guard<std::mutex> guard(g_lock);
  if (LCType == 0) {
    Overrides().clear();
  } else if (!value) {
    Overrides().erase(LCType);
  } else {
    Overrides()[LCType] = value;
  }
}
