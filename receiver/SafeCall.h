// The guard around every scripting member: an exception that escapes the
// member's own handling becomes its HRESULT (with the automation error
// information the COM layer attaches).
#pragma once

#include <exception>

#include "receiver/Acceptors.h"

template <class Body>
HRESULT SafeCall(Body body) {
  try {
    body();
    return S_OK;
  } catch (const std::exception& e) {
    return HandleSafeCallException(&e);
  } catch (...) {
    return HandleSafeCallException(nullptr);
  }
}
