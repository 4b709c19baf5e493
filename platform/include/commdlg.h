// Stand-in for <commdlg.h>.
#pragma once
// The families build on each other in this order.
// clang-format off
#include "windows.h"
#include "win/commdlg.h"
// clang-format on
