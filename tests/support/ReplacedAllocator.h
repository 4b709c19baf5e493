// Replaces every form of operator new and delete in the test program that
// includes this header (include it in one file of the program only). Each
// allocation first asks the program's FailAllocation(n): true makes it fail
// (bad_alloc, or null for the nothrow forms); else AllocateBytes(n) serves
// it. Every form is replaced so that each new pairs with its delete, also
// under the address sanitizer, whose own forms would not pair with these.
#pragma once

#include <cstdlib>
#include <new>

// Supplied by the program: whether the allocation of n bytes fails, and the
// allocator whose blocks std::free releases.
bool FailAllocation(std::size_t n);
void* AllocateBytes(std::size_t n);

void* operator new(std::size_t n) {
  if (!FailAllocation(n))
    if (void* p = AllocateBytes(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t n) {
  return operator new(n);
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
  return FailAllocation(n) ? nullptr : AllocateBytes(n ? n : 1);
}
void* operator new[](std::size_t n, const std::nothrow_t& tag) noexcept {
  return operator new(n, tag);
}
// GCC at -O2 takes these replacements for a mismatched pair; they are the
// program's one allocator.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
  std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
  std::free(p);
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
