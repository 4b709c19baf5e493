// Drives and volumes (kernel32). The stand-in has no drive letters: every
// root that exists is a fixed drive, and volumes have no labels.
#pragma once

#include "types.h"

#define DRIVE_UNKNOWN 0
#define DRIVE_NO_ROOT_DIR 1
#define DRIVE_REMOVABLE 2
#define DRIVE_FIXED 3
#define DRIVE_REMOTE 4
#define DRIVE_CDROM 5
#define DRIVE_RAMDISK 6

// GetDriveTypeA: the kind of drive whose root directory is lpRootPathName
// ("A:\"; NULL for the current drive).
//   RETURNS a DRIVE_ value; DRIVE_NO_ROOT_DIR when the root does not exist.
//   NOTES the stand-in answers DRIVE_FIXED for any existing directory, so no
//   drive is ever removable.
extern "C" UINT WINAPI GetDriveTypeA(LPCSTR lpRootPathName);

// GetVolumeInformationA: label, serial number, limits and file system of the
// volume whose root is lpRootPathName. Every output pointer may be NULL.
//   RETURNS TRUE on success; FALSE otherwise (GetLastError).
//   NOTES the stand-in has no volume labels: it fails with
//   ERROR_NOT_SUPPORTED, as native does for a drive without a medium.
extern "C" BOOL WINAPI GetVolumeInformationA(LPCSTR lpRootPathName, LPSTR lpVolumeNameBuffer,
                                             DWORD nVolumeNameSize, LPDWORD lpVolumeSerialNumber,
                                             LPDWORD lpMaximumComponentLength,
                                             LPDWORD lpFileSystemFlags,
                                             LPSTR lpFileSystemNameBuffer,
                                             DWORD nFileSystemNameSize);

// The stand-in's own test hook (not a Windows function): makes drive letter
// drive a removable drive whose volume label is label (drive 0: none). Paths
// on it name the same files as without the letter.
extern "C" void QrvxSetRemovableDrive(char drive, const char* label);
