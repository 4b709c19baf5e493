// Lookup tables for prefix codes (private to unzip/), shared by inflate and
// explode.
//
// A table is indexed by the next Bits bits of the stream (lowest bit first).
// Each entry holds an operation, the number of bits the code takes at this
// level (with the entry's extra bits too, for a table built with
// ebCodeAndExtra) and a value:
//   Op 16          literal, Val is the byte (or the symbol)
//   Op 15          end of block
//   Op 0..14       length or distance base Val, followed by Op extra bits
//   Op 99          no code has these bits
//   Op 17..32      a sub-table of Op-16 bits starts at entry Val; drop Bits
//                  and index it with the next Op-16 bits
// Codes no longer than the lookup bits take one access; longer ones two (the
// root and one sub-table sized for the codes that share its prefix).
#pragma once

#include <cstddef>
#include <cstdint>

struct TCodeEntry {
  uint8_t Op;
  uint8_t Bits;
  uint16_t Val;
};
static_assert(sizeof(TCodeEntry) == 4, "table entries are one word");

enum : uint8_t { opEndOfBlock = 15, opLiteral = 16, opInvalid = 99 };
constexpr unsigned kMaxCodeBits = 16;  // code lengths run from 1 to 16

// What Bits counts in the entries of a length or distance base.
enum TEntryBits {
  ebCode,          // the code alone; the extra bits follow it
  ebCodeAndExtra,  // the code and its extra bits, to be dropped together
};

// Results of BuildDecodeTable.
enum : int { btComplete = 0, btIncomplete = 1, btOverSubscribed = 2, btOutOfMemory = 3 };

// One table with its sub-tables, released together.
class TDecodeTable {
 public:
  TDecodeTable() = default;
  ~TDecodeTable() { Release(); }
  TDecodeTable(const TDecodeTable&) = delete;
  TDecodeTable& operator=(const TDecodeTable&) = delete;
  void Release();

  // With no codes at all the table is a single invalid entry and Bits is 0.
  const TCodeEntry* Entries = nullptr;
  unsigned Bits = 0;  // lookup bits actually used

 private:
  friend int BuildDecodeTable(const uint8_t*, unsigned, unsigned, const uint16_t*, const uint8_t*,
                              unsigned, TDecodeTable&, TEntryBits);
  TCodeEntry* FOwned = nullptr;
};

// Builds the table for count code lengths (0 = symbol unused, else 1..16).
// Symbols below s are literals (below 256) or the end of block (256);
// symbol i >= s takes base[i-s] and extra[i-s] (an extra of 99 makes the
// symbol invalid). bits is the requested lookup width; it is raised to the
// shortest and lowered to the longest code length. Returns btComplete,
// btIncomplete (not when the longest code is 1 bit), btOverSubscribed, or
// btOutOfMemory after the message box "*** inflate out of memory ***".
// entryBits says whether a base entry's Bits include its extra bits.
int BuildDecodeTable(const uint8_t* lengths, unsigned count, unsigned s, const uint16_t* base,
                     const uint8_t* extra, unsigned bits, TDecodeTable& table,
                     TEntryBits entryBits = ebCode);

// Test seam: the allocator for tables (nullptr restores the default).
using TTableAllocator = void* (*)(size_t bytes);
void SetDecodeTableAllocator(TTableAllocator alloc);
