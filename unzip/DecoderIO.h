// Input and output helpers that the decoders share (private to unzip/).
//
// Input: TBitReader is the byte source plus the bit reader of one entry. It
// keeps the bit buffer and the chunk cursor in locals of the decoder and
// writes them back to the run context when it goes out of scope.
//
// Bits are taken from the low end of the buffer (RFC 1951 3.1.1). The buffer
// is 64 bits wide; while the current chunk has at least 8 bytes left it is
// refilled a word at a time (RefillFast), otherwise byte by byte through the
// byte source (Fill). A new chunk is read only when the bits asked for are
// not in the buffer and the current chunk is used up, so chunks are read at
// the same moments as with a reader that takes one byte at a time.
//
// Bits above Cnt are either zero or copies of the stream's next bits (a word
// refill loads a few bytes ahead), so OR-ing those bytes in again later is
// harmless and a peek past the end of the input gives a fixed value.
//
// Output: decoders collect bytes in a window and move them to OutputBuffer
// with WindowFlush, which hands every full 16000 bytes to FlushOutput.
#pragma once

#include <cstdint>

#include "common/Bytes.h"
#include "unzip/Decoders.h"

class TBitReader {
 public:
  explicit TBitReader(TRunContext& ctx);
  ~TBitReader() { Save(); }
  TBitReader(const TBitReader&) = delete;
  TBitReader& operator=(const TBitReader&) = delete;

  // Makes at least n (<= 57) bits valid if the input allows; false when the
  // entry's compressed bytes ran out first (Cnt then holds what was left).
  bool Need(unsigned n) { return Cnt >= n || Fill(n); }
  // Appends whole bytes until target bits are valid or the input ends.
  bool Fill(unsigned target);
  // Word refill from the current chunk; only while Left >= 8.
  void RefillFast() {
    Buf |= GetLE64(P) << Cnt;
    unsigned k = (63 - Cnt) >> 3;
    P += k;
    Left -= k;
    Cnt |= 56;
  }
  uint32_t Peek(unsigned n) const { return uint32_t(Buf) & ((1u << n) - 1); }
  void Drop(unsigned n) {
    Buf >>= n;
    Cnt -= n;
  }
  // Reads n (<= 16) bits into v; false when the input ends first.
  bool Get(unsigned n, uint32_t& v) {
    if (!Need(n)) return false;
    v = Peek(n);
    Drop(n);
    return true;
  }
  // The byte source: the entry's next compressed byte, false when none is
  // left. Bytes come from the current chunk; NextChunk reads the next one.
  bool ByteSource(uint8_t& b) {
    if (Left <= 0 && !NextChunk()) return false;
    b = *P++;
    --Left;
    return true;
  }
  // Reads the next chunk through the host; false when the entry has no
  // compressed bytes left.
  bool NextChunk();
  // Writes the cursor back to the run context.
  void Save();

  TRunContext& Ctx;
  uint64_t Buf = 0;      // bits not yet consumed, lowest first
  unsigned Cnt = 0;      // valid bits in Buf, <= 64
  const uint8_t* P;      // next unread byte of the current chunk
  int64_t Left;          // bytes at P that may still be delivered
  int64_t DeliverAfter;  // bytes of the entry beyond the current chunk
};

// Moves n bytes at src to OutputBuffer, running FlushOutput whenever it holds
// 16000 bytes. Stops early when a flush fails the entry.
void WindowFlush(TRunContext& ctx, const uint8_t* src, int32_t n);
