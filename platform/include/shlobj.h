// Stand-in for <shlobj.h>.
#pragma once
// The families build on each other in this order.
// clang-format off
#include "windows.h"
#include "win/shlobj.h"
// clang-format on
