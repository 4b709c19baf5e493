// How the installer treats the members of its package: where each goes, and
// which names it will put on disk at all.
#pragma once

#include <string>

#include "TmplLib.h"

// True for the members that go to the system directory: the names that fold
// to "qrvx.dll" and "qrvxunst.exe". Every other member is documentation.
bool IsSystemMember(const PackageEntry& entry);

// A plain file name: not empty, not "." or "..", no directory part, drive or
// stream separator ("\", "/", ":") and no control characters. Anything else
// would place the file outside its directory, or under another name.
bool IsPlainFileName(const std::string& name);
