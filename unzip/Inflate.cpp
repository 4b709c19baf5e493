// Inflate: the decoder of compression method 8 (deflate, RFC 1951).
//
// Format notes:
// - Blocks follow one another until one carries the last-block bit (3.2.3).
//   A bad block stops the entry at once: nothing more reaches the sink, and
//   the extraction driver's CRC check rejects the entry.
// - Output goes to a 32768-byte circular window; each time it fills it is
//   moved to the output buffer (and on to the sink in pieces of 16000).
//   Distances may reach back before the entry's first byte; they copy what
//   the window holds and the entry then fails its CRC check.
// - Once the entry's compressed bytes are used up, a code that needs more
//   bits than are left ends the entry as failed. A peek of the lookup width
//   past the end is fine as long as the code found is no longer than the bits
//   really left (a stream's last code is often shorter than the lookup).
// - Output beyond the declared unpacked size fails the entry (FlushOutput).
//
// Speed: a fast loop decodes whole symbols while the current chunk has 16
// bytes left and the window has room for the longest match (258), with one
// word refill per symbol; everything else goes through the careful loop.
#include <algorithm>

#include "unzip/DecodeTable.h"
#include "unzip/DecoderIO.h"

namespace {

constexpr unsigned kWindowSize = 32768;
constexpr unsigned kMaxMatch = 258;

// RFC 1951 3.2.5. Length symbols 286 and 287 never occur in valid data; the
// extra count 99 makes them invalid codes of the fixed table.
constexpr uint16_t kLenBase[31] = {3,  4,   5,   6,   7,   8,   9,   10, 11, 13, 15,
                                   17, 19,  23,  27,  31,  35,  43,  51, 59, 67, 83,
                                   99, 115, 131, 163, 195, 227, 258, 0,  0};
constexpr uint8_t kLenExtra[31] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2,  2, 2,
                                   3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0, 99, 99};
constexpr uint16_t kDistBase[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                    33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                    1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                    6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
// RFC 1951 3.2.7: order of the code length code lengths.
constexpr uint8_t kClOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// Block results: 0 to 3 as the table builder and the block decoders give
// them; the two below end the entry the same way.
constexpr int kExhausted = 4;   // more bits needed than the entry has
constexpr int kSinkFailed = 5;  // a flush failed the entry (size limit, short write)

class TInflater {
 public:
  explicit TInflater(TRunContext& ctx) : Ctx(ctx), In(ctx), Win(ctx.Window) {}
  int Block(bool& last);
  unsigned WinPos = 0;  // next window byte; < 32768 between symbols

 private:
  int Stored();
  int Fixed();
  int Dynamic();
  int Codes(const TDecodeTable& lit, const TDecodeTable& dist);
  int FastCodes(const TDecodeTable& lit, const TDecodeTable& dist, bool& endOfBlock);
  int Decode(const TDecodeTable& t, TCodeEntry& e);
  int Copy(unsigned len, unsigned dist);
  // The window is full: hand it on and start again at 0.
  bool WindowFull() {
    WindowFlush(Ctx, Win, kWindowSize);
    WinPos = 0;
    return !Ctx.Failed;
  }

  TRunContext& Ctx;
  TBitReader In;
  uint8_t* Win;
};

// One code through the table, bit by bit at the end of the input.
int TInflater::Decode(const TDecodeTable& t, TCodeEntry& e) {
  In.Need(t.Bits);
  e = t.Entries[In.Peek(t.Bits)];
  if (e.Op > opLiteral && e.Op != opInvalid) {
    if (e.Bits > In.Cnt) return kExhausted;
    In.Drop(e.Bits);
    unsigned sub = e.Op - 16u;
    In.Need(sub);
    e = t.Entries[e.Val + In.Peek(sub)];
  }
  if (e.Op == opInvalid) return 1;
  if (e.Bits > In.Cnt) return kExhausted;
  In.Drop(e.Bits);
  return 0;
}

// Copies len bytes from dist back, in pieces that never cross the window's
// end; pieces whose source and destination overlap go forward in steps no
// longer than the distance, which repeats the pattern as RFC 1951 requires.
int TInflater::Copy(unsigned len, unsigned dist) {
  while (len > 0) {
    unsigned src = (WinPos - dist) & (kWindowSize - 1);
    unsigned n = std::min(len, kWindowSize - std::max(src, WinPos));
    uint8_t* d = Win + WinPos;
    const uint8_t* s = Win + src;
    unsigned gap = src < WinPos ? WinPos - src : src - WinPos;
    if (gap >= n) {
      std::memcpy(d, s, n);
    } else if (src < WinPos && gap >= 8) {
      unsigned i = 0;
      for (; i + 8 <= n; i += 8) std::memcpy(d + i, s + i, 8);
      for (; i < n; ++i) d[i] = s[i];
    } else if (src < WinPos && gap == 1) {
      std::memset(d, s[0], n);
    } else {
      for (unsigned i = 0; i < n; ++i) d[i] = s[i];
    }
    WinPos += n;
    len -= n;
    if (WinPos == kWindowSize && !WindowFull()) return kSinkFailed;
  }
  return 0;
}

// Whole symbols from locals while the chunk has 16 bytes and the window room
// for a match: one refill gives >= 56 bits, and a literal/length code (<= 16)
// with its extra bits (<= 5) and a distance code (<= 16) with its extra bits
// (<= 13) take at most 50. Leaves when either margin runs out.
int TInflater::FastCodes(const TDecodeTable& lit, const TDecodeTable& dist, bool& endOfBlock) {
  const TCodeEntry* lt = lit.Entries;
  const TCodeEntry* dt = dist.Entries;
  const uint64_t lmask = (uint64_t(1) << lit.Bits) - 1;
  const uint64_t dmask = (uint64_t(1) << dist.Bits) - 1;
  uint64_t buf = In.Buf;
  unsigned cnt = In.Cnt;
  const uint8_t* p = In.P;
  const uint8_t* const pEnd = In.P + In.Left;  // stop with 16 bytes to spare
  uint8_t* const win = Win;
  unsigned pos = WinPos;
  int result = 0;
  endOfBlock = false;

  while (pEnd - p >= 16 && pos <= kWindowSize - kMaxMatch) {
    buf |= LoadLE64(p) << cnt;
    p += (63 - cnt) >> 3;
    cnt |= 56;

    TCodeEntry e = lt[buf & lmask];
    if (e.Op > opLiteral) {
      if (e.Op == opInvalid) {
        result = 1;
        break;
      }
      buf >>= e.Bits;
      cnt -= e.Bits;
      e = lt[e.Val + (buf & ((uint64_t(1) << (e.Op - 16)) - 1))];
      if (e.Op == opInvalid) {
        result = 1;
        break;
      }
    }
    buf >>= e.Bits;
    cnt -= e.Bits;
    if (e.Op == opLiteral) {
      win[pos++] = uint8_t(e.Val);
      // A second literal from the same refill: >= 40 bits are left.
      e = lt[buf & lmask];
      if (e.Op == opLiteral) {
        buf >>= e.Bits;
        cnt -= e.Bits;
        win[pos++] = uint8_t(e.Val);
      }
      continue;
    }
    if (e.Op == opEndOfBlock) {
      endOfBlock = true;
      break;
    }
    unsigned len = e.Val + unsigned(buf & ((uint64_t(1) << e.Op) - 1));
    buf >>= e.Op;
    cnt -= e.Op;

    e = dt[buf & dmask];
    if (e.Op > opLiteral) {
      if (e.Op == opInvalid) {
        result = 1;
        break;
      }
      buf >>= e.Bits;
      cnt -= e.Bits;
      e = dt[e.Val + (buf & ((uint64_t(1) << (e.Op - 16)) - 1))];
      if (e.Op == opInvalid) {
        result = 1;
        break;
      }
    }
    buf >>= e.Bits;
    cnt -= e.Bits;
    unsigned d = e.Val + unsigned(buf & ((uint64_t(1) << e.Op) - 1));
    buf >>= e.Op;
    cnt -= e.Op;

    unsigned src = (pos - d) & (kWindowSize - 1);
    if (src < pos && pos - src >= len) {
      // Common case: the source lies wholly before the destination.
      std::memcpy(win + pos, win + src, len);
      pos += len;
    } else {
      In.Buf = buf;
      In.Cnt = cnt;
      In.Left -= p - In.P;
      In.P = p;
      WinPos = pos;
      result = Copy(len, d);  // at most up to the window's end
      pos = WinPos;
      if (result) return result;
    }
  }
  In.Buf = buf;
  In.Cnt = cnt;
  In.Left -= p - In.P;
  In.P = p;
  WinPos = pos;
  if (WinPos == kWindowSize && !WindowFull()) return kSinkFailed;
  return result;
}

// RFC 1951 3.2.5: literal/length and distance codes up to the end of block.
int TInflater::Codes(const TDecodeTable& lit, const TDecodeTable& dist) {
  for (;;) {
    if (In.Left >= 16 && WinPos <= kWindowSize - kMaxMatch) {
      bool endOfBlock;
      int r = FastCodes(lit, dist, endOfBlock);
      if (r || endOfBlock) return r;
      if (In.Left >= 16 && WinPos <= kWindowSize - kMaxMatch) continue;
    }
    TCodeEntry e;
    int r = Decode(lit, e);
    if (r) return r;
    if (e.Op == opLiteral) {
      Win[WinPos++] = uint8_t(e.Val);
      if (WinPos == kWindowSize && !WindowFull()) return kSinkFailed;
      continue;
    }
    if (e.Op == opEndOfBlock) return 0;
    uint32_t x;
    if (!In.Get(e.Op, x)) return kExhausted;
    unsigned len = e.Val + x;
    if ((r = Decode(dist, e)) != 0) return r;
    if (!In.Get(e.Op, x)) return kExhausted;
    if ((r = Copy(len, e.Val + x)) != 0) return r;
  }
}

// RFC 1951 3.2.4: LEN and NLEN after the byte boundary, then LEN raw bytes.
int TInflater::Stored() {
  In.Drop(In.Cnt & 7);
  uint32_t len, nlen;
  if (!In.Get(16, len) || !In.Get(16, nlen)) return kExhausted;
  if (len != (~nlen & 0xFFFF)) return 1;
  while (len > 0) {
    if (In.Cnt >= 8) {
      Win[WinPos++] = uint8_t(In.Buf);
      In.Drop(8);
      --len;
    } else {
      // The bit buffer is empty (whole bytes only since the boundary).
      In.Buf = 0;
      if (In.Left <= 0 && !In.NextChunk()) return kExhausted;
      unsigned n = unsigned(std::min<int64_t>({len, In.Left, kWindowSize - WinPos}));
      std::memcpy(Win + WinPos, In.P, n);
      In.P += n;
      In.Left -= n;
      WinPos += n;
      len -= n;
    }
    if (WinPos == kWindowSize && !WindowFull()) return kSinkFailed;
  }
  return 0;
}

// RFC 1951 3.2.6.
int TInflater::Fixed() {
  uint8_t lens[288];
  std::fill(lens, lens + 144, 8);
  std::fill(lens + 144, lens + 256, 9);
  std::fill(lens + 256, lens + 280, 7);
  std::fill(lens + 280, lens + 288, 8);
  TDecodeTable lit, dist;
  int r = BuildDecodeTable(lens, 288, 257, kLenBase, kLenExtra, 7, lit);
  if (r) return r;
  std::fill(lens, lens + 30, 5);
  r = BuildDecodeTable(lens, 30, 0, kDistBase, kDistExtra, 5, dist);
  if (r > btIncomplete) return r;  // 30 of 32 five-bit codes: incomplete by design
  return Codes(lit, dist);
}

// RFC 1951 3.2.7.
int TInflater::Dynamic() {
  uint32_t hlit, hdist, hclen;
  if (!In.Get(5, hlit) || !In.Get(5, hdist) || !In.Get(4, hclen)) return kExhausted;
  hlit += 257;
  hdist += 1;
  hclen += 4;
  if (hlit > 286 || hdist > 30) return 1;

  uint8_t lens[286 + 30] = {};
  for (unsigned i = 0; i < hclen; ++i) {
    uint32_t x;
    if (!In.Get(3, x)) return kExhausted;
    lens[kClOrder[i]] = uint8_t(x);
  }
  int r;
  {
    TDecodeTable cl;
    if ((r = BuildDecodeTable(lens, 19, 19, nullptr, nullptr, 7, cl)) != 0) return r;
    std::fill(lens, lens + 19, 0);
    unsigned n = hlit + hdist, i = 0;
    uint8_t prev = 0;
    while (i < n) {
      TCodeEntry e;
      if ((r = Decode(cl, e)) != 0) return r;
      if (e.Val < 16) {
        lens[i++] = prev = uint8_t(e.Val);
        continue;
      }
      uint32_t x;
      unsigned rep;
      uint8_t fill = 0;
      if (e.Val == 16) {
        if (!In.Get(2, x)) return kExhausted;
        rep = 3 + x;
        fill = prev;
      } else if (e.Val == 17) {
        if (!In.Get(3, x)) return kExhausted;
        rep = 3 + x;
      } else {
        if (!In.Get(7, x)) return kExhausted;
        rep = 11 + x;
      }
      if (i + rep > n) return 1;
      std::fill(lens + i, lens + i + rep, fill);
      i += rep;
      prev = fill;
    }
  }
  TDecodeTable lit, dist;
  if ((r = BuildDecodeTable(lens, hlit, 257, kLenBase, kLenExtra, 9, lit)) != 0) return r;
  if ((r = BuildDecodeTable(lens + hlit, hdist, 0, kDistBase, kDistExtra, 6, dist)) != 0) return r;
  return Codes(lit, dist);
}

// RFC 1951 3.2.3: BFINAL, BTYPE.
int TInflater::Block(bool& last) {
  uint32_t final, type;
  if (!In.Get(1, final) || !In.Get(2, type)) return kExhausted;
  last = final != 0;
  switch (type) {
    case 0: return Stored();
    case 1: return Fixed();
    case 2: return Dynamic();
    default: return 2;
  }
}

}  // namespace

void Inflate(TRunContext& ctx) {
  TInflater z(ctx);
  bool last = false;
  int r;
  do {
    r = z.Block(last);
  } while (r == 0 && !last);
  if (r != 0 || ctx.Failed) {
    ctx.Failed = true;
    return;
  }
  WindowFlush(ctx, ctx.Window, int32_t(z.WinPos));
  FlushOutput(ctx);
}
