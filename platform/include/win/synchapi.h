// Interlocked operations and slim reader/writer locks (kernel32).
#pragma once

#include "types.h"

// Atomic increment/decrement of a 32-bit value; return the new value.
extern "C" LONG WINAPI InterlockedIncrement(LONG volatile* Addend);
extern "C" LONG WINAPI InterlockedDecrement(LONG volatile* Addend);
// Atomic exchange; returns the old value.
extern "C" LONG WINAPI InterlockedExchange(LONG volatile* Target, LONG Value);
// Atomic compare-and-exchange: stores ExChange when the value equals
// Comperand; returns the old value. With ExChange equal to Comperand it is an
// atomic read.
extern "C" LONG WINAPI InterlockedCompareExchange(LONG volatile* Destination, LONG ExChange,
                                                  LONG Comperand);

// A slim reader/writer lock: one pointer, statically initialised with
// SRWLOCK_INIT, never destroyed. Not recursive; no upgrade from shared to
// exclusive (on Windows that deadlocks, here too).
typedef struct _RTL_SRWLOCK {
  PVOID Ptr;
} SRWLOCK, *PSRWLOCK;
#define SRWLOCK_INIT \
  { nullptr }

extern "C" void WINAPI InitializeSRWLock(PSRWLOCK SRWLock);
extern "C" void WINAPI AcquireSRWLockShared(PSRWLOCK SRWLock);
extern "C" void WINAPI ReleaseSRWLockShared(PSRWLOCK SRWLock);
extern "C" void WINAPI AcquireSRWLockExclusive(PSRWLOCK SRWLock);
extern "C" void WINAPI ReleaseSRWLockExclusive(PSRWLOCK SRWLock);
