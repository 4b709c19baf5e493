// Stand-in for <oaidl.h>: everything is in the <windows.h> stand-in.
#pragma once
#include "windows.h"
