// Stand-in for <lzexpand.h>.
#pragma once
// The families build on each other in this order.
// clang-format off
#include "windows.h"
#include "win/lzexpand.h"
// clang-format on
