// Stand-in for <ocidl.h>: everything is in the <windows.h> stand-in.
#pragma once
#include "windows.h"
