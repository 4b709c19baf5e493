// Runs a piece of a test on a thread of its own with a 1 MiB stack (the
// Windows default; server threads often have less), so that recursion an
// input could deepen shows up as a crash here.
#pragma once

#include <windows.h>

#ifndef _WIN32
#include <pthread.h>
#endif

#include <gtest/gtest.h>

#include <cstddef>

template <class F>
void RunOnSmallStack(F f) {
  constexpr size_t kStack = size_t(1) << 20;
#ifdef _WIN32
  HANDLE h = CreateThread(
      nullptr, kStack,
      [](LPVOID p) -> DWORD {
        (*static_cast<F*>(p))();
        return 0;
      },
      &f, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  ASSERT_NE(h, nullptr);
  WaitForSingleObject(h, INFINITE);
  CloseHandle(h);
#else
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, kStack);
  pthread_t t;
  ASSERT_EQ(pthread_create(
                &t, &attr,
                [](void* p) -> void* {
                  (*static_cast<F*>(p))();
                  return nullptr;
                },
                &f),
            0);
  pthread_join(t, nullptr);
  pthread_attr_destroy(&attr);
#endif
}
