// The message of the class-library exception a piece of code raises.
#pragma once

#include <functional>
#include <string>

#include "common/Classes.h"

// "(none)" when f raises nothing.
inline std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const Exception& e) {
    return e.Message;
  }
  return "(none)";
}
