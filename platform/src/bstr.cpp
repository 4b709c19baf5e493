// BSTR: a pointer to UTF-16 text preceded by a 4-byte byte count and followed
// by a 2-byte NUL. SysStringByteLen reads the count; the text may hold NULs.
#include <windows.h>

#include <cstdlib>
#include <cstring>

namespace {

// Allocates a BSTR of bytes bytes (plus the count and terminator), copying
// from src when given, zero-filled otherwise.
BSTR BSTR_Alloc(const void* src, UINT bytes) {
  if (bytes > 0x7FFFFFF0u) return nullptr;
  size_t total = sizeof(DWORD) + bytes + sizeof(OLECHAR) + 1;
  auto* block = static_cast<unsigned char*>(std::malloc(total));
  if (!block) return nullptr;
  DWORD n = bytes;
  std::memcpy(block, &n, sizeof n);
  unsigned char* text = block + sizeof(DWORD);
  if (src)
    std::memcpy(text, src, bytes);
  else
    std::memset(text, 0, bytes);
  std::memset(text + bytes, 0, sizeof(OLECHAR) + 1);
  return reinterpret_cast<BSTR>(text);
}

DWORD* BSTR_Count(BSTR b) {
  return reinterpret_cast<DWORD*>(reinterpret_cast<unsigned char*>(b) - sizeof(DWORD));
}

}  // namespace

/***********************************************************************
 * SysAllocString: a BSTR holding psz up to its NUL. NULL gives NULL.
 */
WINOLEAUTAPI_(BSTR) SysAllocString(const OLECHAR* psz) {
  if (!psz) return nullptr;
  UINT n = 0;
  while (psz[n]) ++n;
  return SysAllocStringLen(psz, n);
}

/***********************************************************************
 * SysAllocStringLen: cch characters from pch, or cch zero characters when
 * pch is NULL.
 */
WINOLEAUTAPI_(BSTR) SysAllocStringLen(const OLECHAR* pch, UINT cch) {
  if (cch > 0x3FFFFFF0u) return nullptr;
  return BSTR_Alloc(pch, cch * sizeof(OLECHAR));
}

/***********************************************************************
 * SysAllocStringByteLen: len bytes from psz (not converted), or len zero
 * bytes when psz is NULL. SysStringLen then reports len / 2.
 */
WINOLEAUTAPI_(BSTR) SysAllocStringByteLen(LPCSTR psz, UINT len) {
  return BSTR_Alloc(psz, len);
}

/***********************************************************************
 * SysReAllocStringLen: replaces *pbstr by a new BSTR of cch characters.
 * RETURNS TRUE on success, FALSE when memory runs out (the old one stays).
 */
WINOLEAUTAPI_(INT) SysReAllocStringLen(BSTR* pbstr, const OLECHAR* psz, UINT cch) {
  BSTR fresh = SysAllocStringLen(psz, cch);
  if (!fresh) return FALSE;
  SysFreeString(*pbstr);
  *pbstr = fresh;
  return TRUE;
}

WINOLEAUTAPI_(void) SysFreeString(BSTR bstr) {
  if (bstr) std::free(BSTR_Count(bstr));
}

WINOLEAUTAPI_(UINT) SysStringLen(BSTR bstr) {
  return bstr ? *BSTR_Count(bstr) / sizeof(OLECHAR) : 0;
}

WINOLEAUTAPI_(UINT) SysStringByteLen(BSTR bstr) {
  return bstr ? *BSTR_Count(bstr) : 0;
}
