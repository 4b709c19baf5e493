// Path mapping shared by the stand-in's file functions.
#pragma once

#include <string>

// "C:\dir\file" -> "/dir/file": drive prefix dropped, "\" made "/".
std::string QrvxPosixPath(const char* path);
