// Stand-in for <commdlg.h>.
#pragma once
#include "windows.h"
#include "win/commdlg.h"
