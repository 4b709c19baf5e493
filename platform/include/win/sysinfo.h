// System information (kernel32).
#pragma once

#include "types.h"

// GetSystemDirectoryA: the system directory, without a trailing separator.
//   RETURNS the length copied (without the terminating zero); when uSize is
//   too small, the size needed (with it) and nothing copied.
//   NOTES the stand-in's system directory is $QRVX_SYSTEM_DIR, or
//   ~/.local/share/qrvx/system32 when that is not set; it is not created.
extern "C" UINT WINAPI GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize);
