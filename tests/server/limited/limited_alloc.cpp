// Linked only into the test build of the library (qrvx_limited): automation
// strings of more than kLimit characters cannot be allocated, as when a
// server's memory runs out. A member whose own work fails that way answers its
// empty result; one that fails outside its own handling raises, and the
// script sees that as an automation error. Fault injection at the allocator,
// the way allocation failures are usually tested.
#include <windows.h>

namespace {

constexpr UINT kLimit = 65536;

}  // namespace

#ifdef _WIN32
// The library calls SysAllocStringLen through its import slot; this object
// supplies the slot, so the import library's entry is never linked in.
namespace {

typedef BSTR(WINAPI* TAllocLen)(const OLECHAR*, UINT);

BSTR WINAPI LimitedSysAllocStringLen(const OLECHAR* s, UINT n) {
  if (n > kLimit) return nullptr;
  static TAllocLen real = reinterpret_cast<TAllocLen>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleA("oleaut32.dll"), "SysAllocStringLen")));
  return real ? real(s, n) : nullptr;
}

}  // namespace

extern "C" {
TAllocLen __imp_SysAllocStringLen = LimitedSysAllocStringLen;
}
#else
// Linked with --wrap=SysAllocStringLen: every call from another object file
// of the library comes here first.
extern "C" BSTR __real_SysAllocStringLen(const OLECHAR* s, UINT n);
extern "C" BSTR __wrap_SysAllocStringLen(const OLECHAR* s, UINT n) {
  return n > kLimit ? nullptr : __real_SysAllocStringLen(s, n);
}
#endif
