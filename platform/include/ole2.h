// Stand-in for <ole2.h>: everything is in the <windows.h> stand-in.
#pragma once
#include "windows.h"
