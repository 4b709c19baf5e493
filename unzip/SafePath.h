// Checks on the names that file-mode extraction turns into paths below the
// destination directory: a stored name is attacker-controlled text, and the
// file system reads some spellings as leading elsewhere.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

// The longest path (in characters, without the terminating zero) the
// platform's file functions take. The ANSI file functions of Windows stop at
// MAX_PATH including the zero; CreateDirectoryA leaves room for an 8.3 name
// below the directory (12 characters). POSIX systems take PATH_MAX.
#ifdef _WIN32
constexpr size_t kMaxFilePath = MAX_PATH - 1;
constexpr size_t kMaxDirectoryPath = MAX_PATH - 12 - 1;
#else
constexpr size_t kMaxFilePath = 4096 - 1;
constexpr size_t kMaxDirectoryPath = 4096 - 1;
#endif
// The longest single name in a path (NTFS, FAT long names, ext4, NAME_MAX).
constexpr size_t kMaxNameLength = 255;

enum TPathVerdict { pvSafe, pvUnsafe, pvTooLong };

// Judges rel, a path relative to the destination whose drive, root and
// leading separators have already been taken off. Either separator splits
// it. Unsafe: a component that names the parent once Windows has stripped
// its trailing dots and blanks ("..", "...", ". ."), a colon (a drive, or an
// NTFS stream), a control character, a name ending in a dot or a blank
// (Windows strips those in some calls and not in others), a file name of
// dots and blanks alone (it would name the directory), or a device name (CON, NUL, COM1, ...,
// with or without an extension). Too long: a component over kMaxNameLength.
TPathVerdict CheckRelativePath(const std::string& rel);
