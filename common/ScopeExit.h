// Runs a clean-up when the enclosing scope ends, whether it ends normally or
// by an exception, so that the clean-up is written once.
#pragma once

#include <utility>

template <class F>
class TScopeExit {
 public:
  explicit TScopeExit(F f) : FAction(std::move(f)) {}
  ~TScopeExit() { FAction(); }
  TScopeExit(const TScopeExit&) = delete;
  TScopeExit& operator=(const TScopeExit&) = delete;

 private:
  F FAction;
};
