// The LZ expansion API (lz32): reading files written by compress.exe (the
// "SZDD" compressed-file format) as if they were plain; a plain file reads
// unchanged. The stand-in expands a compressed file when it is opened.
#pragma once

#include "types.h"

#define OF_READ 0x0000
#define OFS_MAXPATHNAME 128

#define LZERROR_BADINHANDLE (-1)
#define LZERROR_BADOUTHANDLE (-2)
#define LZERROR_READ (-3)
#define LZERROR_WRITE (-4)
#define LZERROR_GLOBALLOC (-5)
#define LZERROR_GLOBLOCK (-6)
#define LZERROR_BADVALUE (-7)
#define LZERROR_UNKNOWNALG (-8)

typedef struct _OFSTRUCT {
  BYTE cBytes;
  BYTE fFixedDisk;
  WORD nErrCode;
  WORD Reserved1;
  WORD Reserved2;
  CHAR szPathName[OFS_MAXPATHNAME];
} OFSTRUCT, *LPOFSTRUCT, *POFSTRUCT;

// LZOpenFileA: opens lpFileName for reading (wStyle OF_READ).
//   RETURNS a handle greater than 0; a negative LZERROR_ value when the file
//   cannot be opened. A file compressed by another method than 'A' reads as
//   it is, like a plain one.
//   NOTES lpReOpenBuf receives the path and, on failure, an error code.
extern "C" INT WINAPI LZOpenFileA(LPSTR lpFileName, LPOFSTRUCT lpReOpenBuf, WORD wStyle);

// LZRead: up to cbRead expanded bytes from the current position into lpBuffer.
//   RETURNS the number of bytes placed (0 at the end); LZERROR_BADINHANDLE for
//   a handle that is not open, LZERROR_BADVALUE for a negative count.
extern "C" INT WINAPI LZRead(INT hFile, LPSTR lpBuffer, INT cbRead);

// LZSeek: moves the position to lOffset from the start (iOrigin 0), the
// current position (1) or the end (2) of the expanded content.
//   RETURNS the new position; LZERROR_BADVALUE when it would be negative or,
//   for a compressed file, past its expanded length.
extern "C" LONG WINAPI LZSeek(INT hFile, LONG lOffset, INT iOrigin);

// LZClose: closes a handle from LZOpenFileA.
extern "C" VOID WINAPI LZClose(INT hFile);
