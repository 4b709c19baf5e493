// Explode: the decoder of compression method 6 (imploding, APPNOTE 5.3),
// Shannon-Fano codes over a sliding dictionary of 4 KB or 8 KB.
//
// Format notes:
// - General purpose bit 1 selects the 8 KB dictionary (7 low distance bits),
//   bit 2 three trees (literals coded) over two (literals as raw 8 bits).
// - The trees are stored as whole bytes before the bit stream: a count of
//   the following bytes minus 1, then bytes of (repeat - 1) << 4 | (length
//   - 1). A total other than the tree's size, or a repeat past it, stops
//   the decoder; so does any table other than a complete one.
// - Codes are sent with their bits complemented: tables are indexed with
//   the complement of the next bits. Extra bits are not complemented.
// - A copy is: low distance bits, distance code, length code (symbol 63 takes
//   8 more bits); distance = base + low bits. Before the window has filled
//   once, a copy from before the first byte gives zeros.
// - Decoding ends when the declared unpacked size has been produced (an
//   empty entry reads nothing); a last copy that would pass it is cut there.
//   Compressed bytes that run out first end the entry as failed.
//
// Working memory: the run context's 32768-byte window, as for inflate.
#include "unzip/Explode.h"

#include <algorithm>

#include "unzip/DecodeTable.h"
#include "unzip/DecoderIO.h"

namespace {

class TExploder {
 public:
  explicit TExploder(TRunContext& ctx) : Ctx(ctx), In(ctx) {}
  void Run();

 private:
  // Reads one stored tree of n code lengths; false on a bad total or repeat,
  // or when the input ends.
  bool ReadTree(uint8_t* lengths, unsigned n);
  // One code through a table indexed by complemented bits; false on an
  // invalid code or when the input ends.
  bool Decode(const TDecodeTable& t, TCodeEntry& e);
  bool Put(uint8_t b) {
    Win[Pos++] = b;
    ++Produced;
    if (Pos == kWindowSize) {
      WindowFlush(Ctx, Win, kWindowSize);
      Pos = 0;
      return !Ctx.Failed;
    }
    return true;
  }
  bool Copy(int64_t len, unsigned dist) {
    while (len > 0) {
      if (Produced < int64_t(dist)) {  // before the first byte: zeros
        if (!Put(0)) return false;
        --len;
        continue;
      }
      // A piece that crosses neither the window's end nor its own source.
      unsigned src = (Pos - dist) & (kWindowSize - 1);
      int64_t n = std::min<int64_t>(len, kWindowSize - std::max(src, Pos));
      if (src < Pos && Pos - src >= n) {
        std::memcpy(Win + Pos, Win + src, size_t(n));
      } else {
        for (int64_t i = 0; i < n; ++i) Win[Pos + i] = Win[src + i];
      }
      Pos += unsigned(n);
      Produced += n;
      len -= n;
      if (Pos == kWindowSize) {
        WindowFlush(Ctx, Win, kWindowSize);
        Pos = 0;
        if (Ctx.Failed) return false;
      }
    }
    return true;
  }

  TRunContext& Ctx;
  TBitReader In;
  uint8_t* Win = Ctx.Window;
  unsigned Pos = 0;
  int64_t Produced = 0;
};

bool TExploder::ReadTree(uint8_t* lengths, unsigned n) {
  uint32_t count, b;
  if (!In.Get(8, count)) return false;
  unsigned k = 0;
  for (unsigned i = 0; i <= count; ++i) {
    if (!In.Get(8, b)) return false;
    unsigned rep = (b >> 4) + 1, len = (b & 15) + 1;
    if (k + rep > n) return false;
    while (rep--) lengths[k++] = uint8_t(len);
  }
  return k == n;
}

bool TExploder::Decode(const TDecodeTable& t, TCodeEntry& e) {
  In.Need(t.Bits);
  e = t.Entries[~In.Buf & ((1u << t.Bits) - 1)];
  if (e.Op > opLiteral && e.Op != opInvalid) {
    if (e.Bits > In.Cnt) return false;
    In.Drop(e.Bits);
    unsigned sub = e.Op - 16u;
    In.Need(sub);
    e = t.Entries[e.Val + (~In.Buf & ((1u << sub) - 1))];
  }
  if (e.Op == opInvalid || e.Bits > In.Cnt) return false;
  In.Drop(e.Bits);
  return true;
}

void TExploder::Run() {
  if (Ctx.UnpackedSize <= 0) return;  // nothing to produce, nothing to read
  const bool bigDict = Ctx.GeneralFlags & 2;
  const bool litTree = Ctx.GeneralFlags & 4;
  const unsigned lowBits = bigDict ? 7 : 6;

  // APPNOTE 5.3.6: lengths are symbol + 2 (+ 3 with a literal tree), symbol
  // 63 with 8 extra bits; distances are (symbol << low bits) + 1 + low bits.
  uint16_t lenBase[64], distBase[64];
  uint8_t lenExtra[64] = {}, distExtra[64] = {};
  for (unsigned i = 0; i < 64; ++i) {
    lenBase[i] = uint16_t(i + (litTree ? 3 : 2));
    distBase[i] = uint16_t((i << lowBits) + 1);
  }
  lenExtra[63] = 8;

  uint8_t lengths[256];
  TDecodeTable lit, len, dist;
  if (litTree) {
    if (!ReadTree(lengths, 256) ||
        BuildDecodeTable(lengths, 256, 256, nullptr, nullptr, 9, lit) != btComplete)
      return void(Ctx.Failed = true);
  }
  if (!ReadTree(lengths, 64) ||
      BuildDecodeTable(lengths, 64, 0, lenBase, lenExtra, 7, len) != btComplete)
    return void(Ctx.Failed = true);
  if (!ReadTree(lengths, 64) ||
      BuildDecodeTable(lengths, 64, 0, distBase, distExtra, ExplodeDistanceBits(Ctx.PackedSize),
                       dist) != btComplete)
    return void(Ctx.Failed = true);

  uint32_t x;
  TCodeEntry e;
  while (Produced < Ctx.UnpackedSize) {
    if (!In.Get(1, x)) return void(Ctx.Failed = true);
    if (x) {
      if (litTree) {
        if (!Decode(lit, e)) return void(Ctx.Failed = true);
        x = e.Val;
      } else if (!In.Get(8, x)) {
        return void(Ctx.Failed = true);
      }
      if (!Put(uint8_t(x))) return;
      continue;
    }
    if (!In.Get(lowBits, x) || !Decode(dist, e)) return void(Ctx.Failed = true);
    unsigned d = e.Val + x;
    if (!Decode(len, e) || !In.Get(e.Op, x)) return void(Ctx.Failed = true);
    int64_t n = std::min<int64_t>(e.Val + x, Ctx.UnpackedSize - Produced);
    if (!Copy(n, d)) return;
  }
  WindowFlush(Ctx, Win, int32_t(Pos));
  lit.Release();
  len.Release();
  dist.Release();
  FlushOutput(Ctx);
}

}  // namespace

void Explode(TRunContext& ctx) {
  TExploder(ctx).Run();
}
