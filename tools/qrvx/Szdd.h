// The compressed-file format of compress.exe ("SZDD"), which the Windows LZ
// expansion API (LZOpenFileA, LZRead) expands on the fly.
#pragma once

#include <string>
#include <string_view>

// The SZDD file for data: the 14-byte header (magic, method 'A', the last
// character of the original name or 0, the expanded length) and the LZSS
// stream. Greedy longest matches within the 4096-byte window, found through
// hash chains of bounded length: linear in the input.
std::string SzddCompress(std::string_view data, char lastNameChar = 0);
