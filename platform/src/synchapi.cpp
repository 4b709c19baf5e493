// Interlocked operations and slim reader/writer locks over C++ atomics. The
// lock word counts readers in its low bits; the top bit marks a writer.
// Waiters yield the processor: the locks guard short lists only.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <thread>

static_assert(sizeof(std::atomic<uintptr_t>) == sizeof(PVOID));

namespace {

constexpr uintptr_t kWriter = uintptr_t(1) << (sizeof(uintptr_t) * 8 - 1);

std::atomic<uintptr_t>& Word(PSRWLOCK lock) {
  return *reinterpret_cast<std::atomic<uintptr_t>*>(&lock->Ptr);
}

std::atomic<LONG>& Ref(LONG volatile* p) {
  return *reinterpret_cast<std::atomic<LONG>*>(const_cast<LONG*>(p));
}

}  // namespace

extern "C" LONG WINAPI InterlockedIncrement(LONG volatile* addend) {
  return ++Ref(addend);
}
extern "C" LONG WINAPI InterlockedDecrement(LONG volatile* addend) {
  return --Ref(addend);
}
extern "C" LONG WINAPI InterlockedExchange(LONG volatile* target, LONG value) {
  return Ref(target).exchange(value);
}

extern "C" void WINAPI InitializeSRWLock(PSRWLOCK lock) {
  lock->Ptr = nullptr;
}

extern "C" void WINAPI AcquireSRWLockShared(PSRWLOCK lock) {
  auto& w = Word(lock);
  for (;;) {
    uintptr_t v = w.load(std::memory_order_relaxed);
    if (!(v & kWriter) && w.compare_exchange_weak(v, v + 1, std::memory_order_acquire)) return;
    std::this_thread::yield();
  }
}

extern "C" void WINAPI ReleaseSRWLockShared(PSRWLOCK lock) {
  Word(lock).fetch_sub(1, std::memory_order_release);
}

extern "C" void WINAPI AcquireSRWLockExclusive(PSRWLOCK lock) {
  auto& w = Word(lock);
  for (;;) {
    uintptr_t v = 0;
    if (w.compare_exchange_weak(v, kWriter, std::memory_order_acquire)) return;
    std::this_thread::yield();
  }
}

extern "C" void WINAPI ReleaseSRWLockExclusive(PSRWLOCK lock) {
  Word(lock).store(0, std::memory_order_release);
}
