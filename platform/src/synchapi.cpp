// Interlocked operations and slim reader/writer locks over C++ atomics. The
// lock word counts readers in its low bits; the top bit marks a writer.
// Waiters yield the processor: the locks guard short lists only.
#include <windows.h>

#include <cstdint>
#include <thread>

namespace {

// The lock word is the SRWLOCK's own pointer field, used as a pointer-sized
// integer through the compiler's atomic builtins.
constexpr uintptr_t kWriter = uintptr_t(1) << (sizeof(uintptr_t) * 8 - 1);

uintptr_t LoadWord(PSRWLOCK lock) {
  return reinterpret_cast<uintptr_t>(__atomic_load_n(&lock->Ptr, __ATOMIC_RELAXED));
}

bool SwapWord(PSRWLOCK lock, uintptr_t expected, uintptr_t desired) {
  PVOID e = reinterpret_cast<PVOID>(expected);
  return __atomic_compare_exchange_n(&lock->Ptr, &e, reinterpret_cast<PVOID>(desired), true,
                                     __ATOMIC_ACQUIRE, __ATOMIC_RELAXED);
}

}  // namespace

/***********************************************************************
 * InterlockedIncrement, InterlockedDecrement, InterlockedExchange,
 * InterlockedCompareExchange (KERNEL32.@)
 * Sequentially consistent, as on Windows.
 */
extern "C" LONG WINAPI InterlockedIncrement(LONG volatile* addend) {
  return __atomic_add_fetch(addend, 1, __ATOMIC_SEQ_CST);
}
extern "C" LONG WINAPI InterlockedDecrement(LONG volatile* addend) {
  return __atomic_sub_fetch(addend, 1, __ATOMIC_SEQ_CST);
}
extern "C" LONG WINAPI InterlockedExchange(LONG volatile* target, LONG value) {
  return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}

extern "C" LONG WINAPI InterlockedCompareExchange(LONG volatile* destination, LONG exchange,
                                                  LONG comperand) {
  __atomic_compare_exchange_n(destination, &comperand, exchange, false, __ATOMIC_SEQ_CST,
                              __ATOMIC_SEQ_CST);
  return comperand;
}

/***********************************************************************
 * InitializeSRWLock, AcquireSRWLockShared, ReleaseSRWLockShared,
 * AcquireSRWLockExclusive, ReleaseSRWLockExclusive (KERNEL32.@)
 * NOTES   Not recursive, as on Windows; a writer waits for the readers and the
 *         readers for a writer.
 */
extern "C" void WINAPI InitializeSRWLock(PSRWLOCK lock) {
  lock->Ptr = nullptr;
}

extern "C" void WINAPI AcquireSRWLockShared(PSRWLOCK lock) {
  for (;;) {
    uintptr_t v = LoadWord(lock);
    if (!(v & kWriter) && SwapWord(lock, v, v + 1)) return;
    std::this_thread::yield();
  }
}

extern "C" void WINAPI ReleaseSRWLockShared(PSRWLOCK lock) {
  for (;;) {
    uintptr_t v = LoadWord(lock);
    PVOID e = reinterpret_cast<PVOID>(v);
    if (__atomic_compare_exchange_n(&lock->Ptr, &e, reinterpret_cast<PVOID>(v - 1), true,
                                    __ATOMIC_RELEASE, __ATOMIC_RELAXED))
      return;
  }
}

extern "C" void WINAPI AcquireSRWLockExclusive(PSRWLOCK lock) {
  while (!SwapWord(lock, 0, kWriter)) std::this_thread::yield();
}

extern "C" void WINAPI ReleaseSRWLockExclusive(PSRWLOCK lock) {
  __atomic_store_n(&lock->Ptr, nullptr, __ATOMIC_RELEASE);
}
