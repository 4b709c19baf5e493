// Canonical prefix codes (RFC 1951 3.2.2) turned into lookup tables.
#include <windows.h>

#include "unzip/DecodeTable.h"

#include <array>
#include <new>

#include "common/ServerMessageBox.h"

namespace {

void* DefaultAlloc(size_t bytes) {
  return ::operator new(bytes, std::nothrow);
}
TTableAllocator gAlloc = DefaultAlloc;

const TCodeEntry kNoCodes[1] = {{opInvalid, 0, 0}};

// Bytes with their bits in reverse order.
constexpr std::array<uint8_t, 256> MakeReversedBytes() {
  std::array<uint8_t, 256> t{};
  for (unsigned b = 0; b < 256; ++b)
    for (unsigned i = 0; i < 8; ++i)
      if (b & (1u << i)) t[b] |= uint8_t(0x80u >> i);
  return t;
}
constexpr std::array<uint8_t, 256> kReversedBytes = MakeReversedBytes();

// The len (<= 16) low bits of code in reverse order.
unsigned Reverse(unsigned code, unsigned len) {
  unsigned r = unsigned(kReversedBytes[code & 0xFF]) << 8 | kReversedBytes[(code >> 8) & 0xFF];
  return r >> (16 - len);
}

}  // namespace

void SetDecodeTableAllocator(TTableAllocator alloc) {
  gAlloc = alloc ? alloc : DefaultAlloc;
}

void TDecodeTable::Release() {
  ::operator delete(FOwned);
  FOwned = nullptr;
  Entries = nullptr;
  Bits = 0;
}

int BuildDecodeTable(const uint8_t* lengths, unsigned count, unsigned s, const uint16_t* base,
                     const uint8_t* extra, unsigned bits, TDecodeTable& table,
                     TEntryBits entryBits) {
  table.Release();

  // Codes per length; a length beyond 16 cannot come from the callers.
  unsigned perLen[kMaxCodeBits + 1] = {};
  for (unsigned i = 0; i < count; ++i) perLen[lengths[i] <= kMaxCodeBits ? lengths[i] : 0]++;
  if (perLen[0] == count) {
    table.Entries = kNoCodes;
    return btComplete;
  }
  unsigned minLen = 1, maxLen = kMaxCodeBits;
  while (perLen[minLen] == 0) ++minLen;
  while (perLen[maxLen] == 0) --maxLen;

  // Over-subscribed or incomplete (RFC 1951 3.2.2: codes of each length
  // follow those of the previous length).
  int64_t open = 1;
  for (unsigned len = 1; len <= kMaxCodeBits; ++len) {
    open = (open << 1) - perLen[len];
    if (open < 0) return btOverSubscribed;
  }
  int result = (open > 0 && maxLen != 1) ? btIncomplete : btComplete;

  unsigned root = bits;
  if (root < minLen) root = minLen;
  if (root > maxLen) root = maxLen;

  // Symbols in code order: by length, then by symbol.
  uint16_t sorted[320];
  unsigned offs[kMaxCodeBits + 2] = {};
  for (unsigned len = 1; len <= kMaxCodeBits; ++len) offs[len + 1] = offs[len] + perLen[len];
  unsigned used = offs[kMaxCodeBits + 1];
  if (count > 320) return btOverSubscribed;  // no caller has more symbols
  for (unsigned i = 0; i < count; ++i)
    if (lengths[i] != 0 && lengths[i] <= kMaxCodeBits) sorted[offs[lengths[i]]++] = uint16_t(i);

  // Two passes over the codes: the first sizes the sub-tables, the second
  // fills the one allocation.
  TCodeEntry* t = nullptr;
  size_t total = 0;
  for (int pass = 0; pass < 2; ++pass) {
    unsigned remaining[kMaxCodeBits + 1];
    for (unsigned len = 0; len <= kMaxCodeBits; ++len) remaining[len] = perLen[len];
    size_t next = size_t(1) << root;  // first entry after the root table
    unsigned prefix = ~0u, subBits = 0;
    size_t subStart = 0;
    unsigned code = 0, len = minLen;
    for (unsigned k = 0; k < used; ++k) {
      unsigned sym = sorted[k];
      unsigned l = lengths[sym];
      code <<= (l - len);
      len = l;
      unsigned rev = Reverse(code, len);
      TCodeEntry e;
      unsigned extraBits = 0;  // counted in Bits
      if (sym < s) {
        e.Op = sym < 256 ? opLiteral : opEndOfBlock;
        e.Val = uint16_t(sym);
      } else {
        e.Op = extra[sym - s];
        e.Val = base[sym - s];
        if (entryBits == ebCodeAndExtra && e.Op < opEndOfBlock) extraBits = e.Op;
      }
      if (len <= root) {
        if (pass) {
          e.Bits = uint8_t(len + extraBits);
          for (size_t i = rev; i < (size_t(1) << root); i += size_t(1) << len) t[i] = e;
        }
      } else {
        unsigned low = rev & ((1u << root) - 1);
        if (low != prefix) {
          // New sub-table: wide enough for the codes left that share it.
          prefix = low;
          subBits = len - root;
          int64_t room = int64_t(1) << subBits;
          while (subBits + root < maxLen) {
            room -= remaining[subBits + root];
            if (room <= 0) break;
            ++subBits;
            room <<= 1;
          }
          subStart = next;
          next += size_t(1) << subBits;
          if (pass) t[low] = TCodeEntry{uint8_t(16 + subBits), uint8_t(root), uint16_t(subStart)};
        }
        if (pass) {
          e.Bits = uint8_t(len - root + extraBits);
          for (size_t i = rev >> root; i < (size_t(1) << subBits); i += size_t(1) << (len - root))
            t[subStart + i] = e;
        }
      }
      --remaining[len];
      ++code;
    }
    if (pass == 0) {
      total = next;
      // Sub-table offsets are 16 bits; no code of at most 320 symbols and
      // 16 bits comes near that, but the bound is cheap to keep.
      if (total > 0xFFFF) return btOverSubscribed;
      t = static_cast<TCodeEntry*>(gAlloc(total * sizeof(TCodeEntry)));
      if (!t) {
        ServerMessageBox(nullptr, "*** inflate out of memory ***", "Error", MB_OK);
        return btOutOfMemory;
      }
      for (size_t i = 0; i < total; ++i) t[i] = TCodeEntry{opInvalid, uint8_t(root), 0};
    }
  }
  table.FOwned = t;
  table.Entries = t;
  table.Bits = root;
  return result;
}
