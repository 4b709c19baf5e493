// Interlocked operations and slim reader/writer locks over C++ atomics. The
// lock word counts readers in its low bits; the top bit marks a writer.
// Waiters yield the processor: the locks guard short lists only.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <thread>

namespace {

constexpr uintptr_t kWriter = uintptr_t(1) << (sizeof(uintptr_t) * 8 - 1);

std::atomic_ref<PVOID> Word(PSRWLOCK lock) {
  return std::atomic_ref<PVOID>(lock->Ptr);
}

std::atomic_ref<LONG> Ref(LONG volatile* p) {
  return std::atomic_ref<LONG>(*const_cast<LONG*>(p));
}

PVOID AsPtr(uintptr_t v) {
  return reinterpret_cast<PVOID>(v);
}
uintptr_t AsWord(PVOID p) {
  return reinterpret_cast<uintptr_t>(p);
}

}  // namespace

extern "C" LONG WINAPI InterlockedIncrement(LONG volatile* addend) {
  return Ref(addend).fetch_add(1) + 1;
}
extern "C" LONG WINAPI InterlockedDecrement(LONG volatile* addend) {
  return Ref(addend).fetch_sub(1) - 1;
}
extern "C" LONG WINAPI InterlockedExchange(LONG volatile* target, LONG value) {
  return Ref(target).exchange(value);
}

extern "C" void WINAPI InitializeSRWLock(PSRWLOCK lock) {
  lock->Ptr = nullptr;
}

extern "C" void WINAPI AcquireSRWLockShared(PSRWLOCK lock) {
  auto w = Word(lock);
  for (;;) {
    PVOID v = w.load(std::memory_order_relaxed);
    if (!(AsWord(v) & kWriter) &&
        w.compare_exchange_weak(v, AsPtr(AsWord(v) + 1), std::memory_order_acquire))
      return;
    std::this_thread::yield();
  }
}

extern "C" void WINAPI ReleaseSRWLockShared(PSRWLOCK lock) {
  auto w = Word(lock);
  PVOID v = w.load(std::memory_order_relaxed);
  while (!w.compare_exchange_weak(v, AsPtr(AsWord(v) - 1), std::memory_order_release)) {
  }
}

extern "C" void WINAPI AcquireSRWLockExclusive(PSRWLOCK lock) {
  auto w = Word(lock);
  for (;;) {
    PVOID v = nullptr;
    if (w.compare_exchange_weak(v, AsPtr(kWriter), std::memory_order_acquire)) return;
    std::this_thread::yield();
  }
}

extern "C" void WINAPI ReleaseSRWLockExclusive(PSRWLOCK lock) {
  Word(lock).store(nullptr, std::memory_order_release);
}
