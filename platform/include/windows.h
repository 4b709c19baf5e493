// Stand-in for <windows.h> on systems other than Windows: the Windows types
// and the few system interfaces QRVX calls, with their Windows names,
// signatures, layouts and results. Each family has its own header in win/.
#pragma once

// The families build on each other in this order.
// clang-format off
#include "win/types.h"
#include "win/oleauto.h"
#include "win/unknwn.h"
#include "win/winnls.h"
#include "win/fileapi.h"
#include "win/winuser.h"
#include "win/localeinfo.h"
#include "win/resources.h"
#include "win/volumes.h"
#include "win/messages.h"
#include "win/dialogs.h"
#include "win/filetime.h"
#include "win/synchapi.h"
#include "win/libloader.h"
#include "win/registry.h"
#include "win/typeinfo.h"
#include "win/combase.h"
#include "win/sysinfo.h"
// clang-format on
