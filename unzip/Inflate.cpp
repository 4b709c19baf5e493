// Inflate: the decoder of compression method 8 (deflate, RFC 1951).
//
// Format notes:
// - Blocks follow one another until one carries the last-block bit (3.2.3).
//   A bad block stops the entry at once: nothing more reaches the sink, and
//   the extraction driver's CRC check rejects the entry.
// - Once the entry's compressed bytes are used up, a code that needs more
//   bits than are left ends the entry as failed. A peek of the lookup width
//   past the end is fine as long as the code found is no longer than the bits
//   really left (a stream's last code is often shorter than the lookup).
// - Output beyond the declared unpacked size fails the entry.
//
// Output goes one of two ways:
// - Window: a 32768-byte circular window; each time it fills it is moved to
//   the output buffer (and on to the sink in pieces of 16000). Distances may
//   reach back before the entry's first byte; they copy what the window
//   holds and the entry then fails its CRC check.
// - Whole entry: when the sink is a plain memory stream being appended to
//   and the entry declares its size, the entry is decoded straight into the
//   stream's memory, which serves as the window. The sink sees the same
//   pieces as through the window: every 16000 bytes decoded are counted into
//   the CRC and reported, the last piece at the end. The block grows with the
//   output (never beyond the declared size), so a size that lies costs no
//   more memory than the output. A distance before the entry's first byte
//   reads zeros.
//
// Speed: a fast loop decodes whole symbols while the current chunk and the
// output have the margins below, with one word refill per symbol (or per
// three literals); everything else goes through the careful loop, symbol by
// symbol with the bit reader's checks.
#include <algorithm>
#include <typeinfo>

#include "common/Classes.h"
#include "unzip/DecodeTable.h"
#include "unzip/DecoderIO.h"

namespace {

// RFC 1951 3.2.5 and 3.2.7: the format's limits.
constexpr unsigned kMaxMatch = 258;
constexpr unsigned kMaxCodeLength = 15;  // longest literal/length or distance code
constexpr unsigned kMaxLengthExtra = 5;
constexpr unsigned kMaxDistanceExtra = 13;
constexpr unsigned kLitLenSymbols = 288;  // as the fixed code defines them
constexpr unsigned kMaxLitLenCodes = 286;
constexpr unsigned kFirstLengthSymbol = 257;
constexpr unsigned kDistanceSymbols = 30;  // also the most a block may declare
constexpr unsigned kCodeLengthSymbols = 19;
constexpr unsigned kMaxCodeLengthCode = 7;

// Length symbols 286 and 287 never occur in valid data; the extra count 99
// makes them invalid codes of the fixed table.
constexpr uint16_t kLenBase[kLitLenSymbols - kFirstLengthSymbol] = {
    3,  4,  5,  6,  7,  8,  9,  10,  11,  13,  15,  17,  19,  23, 27, 31,
    35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258, 0,  0};
constexpr uint8_t kLenExtra[kLitLenSymbols - kFirstLengthSymbol] = {
    0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0, 99, 99};
constexpr uint16_t kDistBase[kDistanceSymbols] = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t kDistExtra[kDistanceSymbols] = {0, 0, 0,  0,  1,  1,  2,  2,  3,  3,
                                                  4, 4, 5,  5,  6,  6,  7,  7,  8,  8,
                                                  9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
// RFC 1951 3.2.7: order of the code length code lengths.
constexpr uint8_t kClOrder[kCodeLengthSymbols] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                  11, 4,  12, 3, 13, 2, 14, 1, 15};
// Code length symbols 16, 17 and 18: repeat the previous length, or zeros.
constexpr unsigned kRepeatPrevious = 16, kRepeatZerosShort = 17;

// Block types (RFC 1951 3.2.3).
enum : uint32_t { kStoredBlock = 0, kFixedBlock = 1, kDynamicBlock = 2 };

// Block results: kBlockOk, the table builder's failures (btIncomplete,
// btOverSubscribed, btOutOfMemory) as they come, or one of these.
enum : int {
  kBlockOk = btComplete,
  kBadData = btOutOfMemory + 1,  // a code, a header or a block type the format does not allow
  kExhausted,                    // more bits needed than the entry has
  kSinkFailed,                   // a flush failed the entry (size limit, short write)
};

// Lookup widths of the tables: root entries cover codes up to this length,
// longer ones take one more access into a sub-table.
constexpr unsigned kLitLenLookup = 11, kDistanceLookup = 8, kCodeLengthLookup = 7;

// The fast loop's bit budget. A refill (RefillFast) fills the whole 64-bit
// buffer with the stream's next bits and counts at least 56 of them valid.
// After a refill the loop takes either up to three literals, or up to two
// literals, a second refill, and a length with its extra bits and a distance
// with its extra bits. Each time it also looks up the next code before the
// refill that follows, so that lookup overlaps the refill: what was taken
// since the last refill plus the longest code must stay within the buffer.
constexpr unsigned kBufferBits = 64;
constexpr unsigned kRefillBits = 56;
constexpr unsigned kMatchBits =
    kMaxCodeLength + kMaxLengthExtra + kMaxCodeLength + kMaxDistanceExtra;
static_assert(kMatchBits <= kRefillBits, "a match after a refill");
static_assert(kMatchBits + kMaxCodeLength <= kBufferBits, "the next code after a match");
constexpr unsigned kLiteralsPerRefill = 3;
static_assert(kLiteralsPerRefill * kMaxCodeLength <= kRefillBits, "literals after a refill");
static_assert(kLiteralsPerRefill * kMaxCodeLength + kMaxCodeLength <= kBufferBits,
              "the next code after the literals");
// Its margins: between two checks the loop refills at most three times
// (once on entry, then at most twice per iteration), each reading 8 bytes at
// the cursor and moving it by at most 7; an iteration writes up to two
// literals and one match, and a match may write up to kMatchOverrun bytes
// past its end.
constexpr unsigned kRefillsPerCheck = 3;
constexpr ptrdiff_t kFastInputMargin = (kRefillsPerCheck - 1) * 7 + sizeof(uint64_t);
constexpr unsigned kCopyStep = 16;              // matches at least this far back
constexpr unsigned kCopyFirst = 2 * kCopyStep;  // written whatever the length
constexpr unsigned kWordStoresFirst = 4;        // below that distance: 8-byte stores
constexpr unsigned kMinMatch = 3;
constexpr unsigned kMatchOverrun = std::max(kCopyFirst, kWordStoresFirst * 8) - kMinMatch;
constexpr unsigned kFastOutputMargin = kLiteralsPerRefill + kMaxMatch + kMatchOverrun;
static_assert(kWindowSize <= uint32_t(kWindowBytes), "the window fits the run's block");

inline void StoreLE64(uint8_t* p, uint64_t v) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  v = __builtin_bswap64(v);
#endif
  std::memcpy(p, &v, 8);
}

// For a distance below 8: the largest multiple of it that fits in 8 bytes.
constexpr uint8_t kPatternStep[8] = {0, 8, 8, 6, 8, 5, 6, 7};

// Copies len (>= kMinMatch) bytes from dist back at dst. The first
// kCopyFirst bytes (kWordStoresFirst stores of 8 for distances below
// kCopyStep) are written whatever len is, so up to kMatchOverrun bytes past
// dst + len are written too. Reads only at or after dst - dist, and only
// bytes already written (or, below 8, masked off).
[[gnu::always_inline]] inline void CopyMatch(uint8_t* dst, size_t dist, unsigned len) {
  const uint8_t* src = dst - dist;
  uint8_t* const end = dst + len;
  if (dist >= kCopyStep) {
    std::memcpy(dst, src, kCopyStep);
    std::memcpy(dst + kCopyStep, src + kCopyStep, kCopyStep);
    static_assert(kCopyFirst == 2 * kCopyStep);
    if (len <= kCopyFirst) return;
    dst += kCopyFirst;
    src += kCopyFirst;
    do {
      std::memcpy(dst, src, kCopyStep);
      dst += kCopyStep;
      src += kCopyStep;
    } while (dst < end);
    return;
  }
  if (dist >= 8) {
    for (unsigned i = 0; i < kWordStoresFirst; ++i) {
      std::memcpy(dst, src, 8);
      dst += 8;
      src += 8;
    }
    while (dst < end) {
      std::memcpy(dst, src, 8);
      dst += 8;
      src += 8;
    }
    return;
  }
  // A shorter distance repeats the dist bytes before dst (RFC 1951 3.2.3):
  // eight bytes of that pattern are stored at steps of a multiple of dist.
  uint64_t pattern;
  size_t step = 8;
  if (dist == 1) {
    pattern = uint64_t(*src) * 0x0101010101010101u;
  } else {
    // The dist bytes (the load's others masked off), doubled up to eight.
    pattern = GetLE64(src) & ((uint64_t(1) << (8 * dist)) - 1);
    pattern |= pattern << (8 * dist);
    if (dist < 4) pattern |= pattern << (16 * dist);
    step = kPatternStep[dist];
  }
  for (unsigned i = 0; i < kWordStoresFirst; ++i) {
    StoreLE64(dst, pattern);
    dst += step;
  }
  while (dst < end) {
    StoreLE64(dst, pattern);
    dst += step;
  }
}

class TInflater {
 public:
  explicit TInflater(TRunContext& ctx);
  // An exception from the host or the sink leaves the stream with what was
  // reported, as when the entry fails.
  ~TInflater() {
    if (Whole) {
      Whole->SetSize(Base + int64_t(Reported));
      Whole->Seek(0, soFromEnd);
    }
  }
  TInflater(const TInflater&) = delete;
  TInflater& operator=(const TInflater&) = delete;
  int Block(bool& last);
  void Finish();

 private:
  int Stored();
  int Fixed();
  int Dynamic();
  int Codes(const TDecodeTable& lit, const TDecodeTable& dist);
  int FastCodes(const TDecodeTable& lit, const TDecodeTable& dist, bool& endOfBlock);
  int Decode(const TDecodeTable& t, TCodeEntry& e, unsigned& value);
  int Copy(unsigned len, unsigned dist);
  bool OutputFull();
  // The largest block: one byte more than the declared size, so that
  // filling it means output beyond that size.
  int64_t WholeBlockLimit() const { return std::min(Ctx.UnpackedSize, INT64_MAX - 1) + 1; }
  void Report(size_t upTo);

  TRunContext& Ctx;
  TBitReader In;

  // Output: Out[0..Limit) is the window or the entry's block; Pos the next
  // byte (< Limit between symbols).
  uint8_t* Out;
  size_t Pos = 0;
  size_t Limit = kWindowSize;
  // Whole-entry output only: the sink, where the entry starts in it, the
  // bytes already counted into the CRC and reported, and the next report.
  TMemoryStream* Whole = nullptr;
  int64_t Base = 0;
  size_t Reported = 0;
  size_t Mark = kWindowSize;
};

// A plain memory stream positioned at its end takes the whole entry. Kinds
// derived from it may write differently, so they get the window path.
TInflater::TInflater(TRunContext& ctx) : Ctx(ctx), In(ctx), Out(ctx.Window) {
  TMemoryStream* mem = nullptr;
  if (ctx.Sink && typeid(*ctx.Sink) == typeid(TMemoryStream))
    mem = static_cast<TMemoryStream*>(ctx.Sink);
  if (!mem || ctx.UnpackedSize <= 0 || ctx.BytesWritten != 0 || ctx.OutFill != 0) return;
  int64_t at = mem->Seek(0, soFromCurrent);
  if (at != mem->GetSize()) return;
  // A first block for the output that honest data of this size gives; it
  // grows when the data expands more.
  constexpr int64_t kFirstBlock = 1 << 16;
  int64_t first = std::max<int64_t>(kFirstBlock, 8 * std::max<int64_t>(ctx.PackedSize, 0));
  first = std::min<int64_t>(first, WholeBlockLimit());
  if (uint64_t(first) > SIZE_MAX / 4) return;
  // The decoder writes every byte before it reads or hands it on, and the
  // block is cut back to what was handed on: no need to clear it first.
  Out = mem->GrowUnfilled(at + first) + at;
  Whole = mem;
  Base = at;
  Limit = size_t(first);
  Mark = kOutputBytes;
}

// Counts Out[Reported..upTo) into the CRC and reports it, in the pieces the
// sink would have been given.
void TInflater::Report(size_t upTo) {
  while (Reported < upTo) {
    int32_t n = int32_t(std::min<size_t>(kOutputBytes, upTo - Reported));
    Ctx.Crc = UpdateCrc32(Ctx.Crc, Out + Reported, size_t(n));
    Reported += size_t(n);
    Ctx.BytesWritten += n;
    if (Ctx.Host) Ctx.Host->Progress(Ctx.BytesWritten, n);
  }
  Mark = Reported + kOutputBytes;
}

// Pos reached Limit. The window is handed on and starts again at 0; the
// entry's block grows, unless it already holds more than the declared size.
bool TInflater::OutputFull() {
  if (!Whole) {
    WindowFlush(Ctx, Out, kWindowSize);
    Pos = 0;
    return !Ctx.Failed;
  }
  if (int64_t(Limit) >= WholeBlockLimit()) {
    Ctx.Failed = true;  // output beyond the declared size
    return false;
  }
  int64_t grown = std::min<int64_t>(2 * int64_t(Limit), WholeBlockLimit());
  if (uint64_t(grown) > SIZE_MAX / 4) {
    Ctx.Failed = true;
    return false;
  }
  Out = Whole->GrowUnfilled(Base + grown) + Base;
  Limit = size_t(grown);
  return true;
}

// Ends the entry: the rest of the window to the sink, or the entry's block
// cut to what was decoded and reported (up to the last full piece when the
// entry failed).
void TInflater::Finish() {
  if (!Whole) {
    if (!Ctx.Failed) {
      WindowFlush(Ctx, Out, int32_t(Pos));
      FlushOutput(Ctx);
    }
    return;
  }
  if (!Ctx.Failed) Report(Pos);
  Whole->SetSize(Base + int64_t(Reported));
  Whole->Seek(0, soFromEnd);
  Whole = nullptr;
}

// Whether a table entry refers to a sub-table (TCodeEntry's layout).
constexpr bool IsSubTable(uint8_t op) {
  return op > opLiteral && op != opInvalid;
}

// The one lookup: the entry for the code at the low end of buf, from the
// root or, for a code longer than the root, from its sub-table. Its Bits
// count the whole code; buf is left as it is, so an entry looked up ahead
// may be dropped.
[[gnu::always_inline]] inline TCodeEntry Lookup(const TCodeEntry* t, uint64_t rootMask,
                                                uint64_t buf) {
  TCodeEntry e = t[buf & rootMask];
  if (IsSubTable(e.Op)) {
    unsigned rootBits = e.Bits;
    e = t[e.Val + ((buf >> rootBits) & ((uint64_t(1) << (e.Op - opLiteral)) - 1))];
    e.Bits = uint8_t(e.Bits + rootBits);
  }
  return e;
}

// The extra bits of a length or distance entry (its tables count them in
// Bits): the top Op of the entry's Bits at the low end of buf.
[[gnu::always_inline]] inline unsigned ExtraBits(const TCodeEntry& e, uint64_t buf) {
  return unsigned((buf & ((uint64_t(1) << e.Bits) - 1)) >> (e.Bits - e.Op));
}

// A length or distance entry: its base plus its extra bits, code and extra
// bits dropped together.
[[gnu::always_inline]] inline unsigned TakeValue(const TCodeEntry& e, uint64_t& buf,
                                                 unsigned& cnt) {
  unsigned v = e.Val + ExtraBits(e, buf);
  buf >>= e.Bits;
  cnt -= e.Bits;
  return v;
}

// One code through the table, at the end of the input bit by bit: no more
// bytes are taken than the code needs. value is the symbol, or for a length
// or distance code the base plus the extra bits taken with it.
int TInflater::Decode(const TDecodeTable& t, TCodeEntry& e, unsigned& value) {
  In.Need(t.Bits);
  const TCodeEntry& root = t.Entries[In.Peek(t.Bits)];
  if (IsSubTable(root.Op)) In.Need(root.Bits + root.Op - opLiteral);
  e = Lookup(t.Entries, (uint64_t(1) << t.Bits) - 1, In.Buf);
  if (e.Op == opInvalid) return kBadData;
  if (!In.Need(e.Bits)) return kExhausted;
  value = e.Op < opEndOfBlock ? e.Val + ExtraBits(e, In.Buf) : e.Val;
  In.Drop(e.Bits);
  return kBlockOk;
}

// Copies len bytes from dist back, in pieces that never cross the end of
// Out; pieces whose source and destination overlap go forward in steps no
// longer than the distance, which repeats the pattern as RFC 1951 requires.
int TInflater::Copy(unsigned len, unsigned dist) {
  while (len > 0) {
    size_t n;
    if (Whole && dist > Pos) {
      // Before the entry's first byte: zeros.
      n = std::min<size_t>({len, dist - Pos, Limit - Pos});
      std::memset(Out + Pos, 0, n);
    } else {
      size_t src = Whole ? Pos - dist : (Pos - dist) & (kWindowSize - 1);
      n = std::min<size_t>(len, Limit - std::max(src, Pos));
      uint8_t* d = Out + Pos;
      const uint8_t* s = Out + src;
      size_t gap = src < Pos ? Pos - src : src - Pos;
      if (gap >= n) {
        std::memcpy(d, s, n);
      } else if (src < Pos && gap >= 8) {
        size_t i = 0;
        for (; i + 8 <= n; i += 8) std::memcpy(d + i, s + i, 8);
        for (; i < n; ++i) d[i] = s[i];
      } else if (src < Pos && gap == 1) {
        std::memset(d, s[0], n);
      } else {
        for (size_t i = 0; i < n; ++i) d[i] = s[i];
      }
    }
    Pos += n;
    len -= unsigned(n);
    if (Pos == Limit && !OutputFull()) return kSinkFailed;
  }
  return kBlockOk;
}

// The fast loop's state, in locals while it runs.
struct TFastLoop {
  const TCodeEntry* Lit;
  const TCodeEntry* Dist;
  uint64_t LitMask, DistMask;
  uint64_t Buf;
  unsigned Cnt;
  const uint8_t* P;
  const uint8_t* PEnd;
  uint8_t* Out;
  size_t Pos;
  size_t Last;                     // the last output position an iteration may start at
  unsigned Len = 0, Distance = 0;  // a match the loop leaves to Copy
};
enum class TLoopExit { Margin, EndOfBlock, BadData, FarMatch };

// Whole symbols while the input has kFastInputMargin bytes and the output
// kFastOutputMargin. The next code is always looked up before the refill,
// so the lookup does not wait for it (the bit budget above). Leaves when a
// margin runs out, at the end of the block, on a bad code, or for a match
// whose source wraps around the window or lies before the entry (Len and
// Distance set); a code looked up ahead is then dropped.
[[gnu::always_inline]] inline TLoopExit FastLoop(TFastLoop& s) {
  const TCodeEntry* const lt = s.Lit;
  const TCodeEntry* const dt = s.Dist;
  const uint64_t lmask = s.LitMask, dmask = s.DistMask;
  uint64_t buf = s.Buf;
  unsigned cnt = s.Cnt;
  const uint8_t* p = s.P;
  const uint8_t* const pEnd = s.PEnd;
  uint8_t* const out = s.Out;
  size_t pos = s.Pos;
  const size_t last = s.Last;
  TLoopExit exit = TLoopExit::Margin;
  auto refill = [&] {
    buf |= GetLE64(p) << cnt;
    p += (63 - cnt) >> 3;
    cnt |= kRefillBits;
  };
  auto literal = [&](const TCodeEntry& e) {
    buf >>= e.Bits;
    cnt -= e.Bits;
    out[pos++] = uint8_t(e.Val);
  };

  if (pEnd - p < kFastInputMargin || pos > last) return exit;
  refill();
  TCodeEntry e = Lookup(lt, lmask, buf);
  do {
    if (e.Op == opLiteral) {
      literal(e);
      e = Lookup(lt, lmask, buf);
      if (e.Op == opLiteral) {
        literal(e);
        e = Lookup(lt, lmask, buf);
        if (e.Op == opLiteral) {
          static_assert(kLiteralsPerRefill == 3);
          literal(e);
          e = Lookup(lt, lmask, buf);
          refill();
          continue;
        }
      }
      // The match's bits: the refill keeps the bits below cnt, so the code
      // looked up stays where it is.
      refill();
    }
    if (e.Op >= opEndOfBlock) {
      if (e.Op == opEndOfBlock) {
        buf >>= e.Bits;
        cnt -= e.Bits;
        exit = TLoopExit::EndOfBlock;
      } else {
        exit = TLoopExit::BadData;
      }
      break;
    }
    unsigned len = TakeValue(e, buf, cnt);
    TCodeEntry de = Lookup(dt, dmask, buf);
    if (de.Op >= opEndOfBlock) {
      exit = TLoopExit::BadData;
      break;
    }
    unsigned d = TakeValue(de, buf, cnt);
    e = Lookup(lt, lmask, buf);
    refill();
    if (d > pos) {
      s.Len = len;
      s.Distance = d;
      exit = TLoopExit::FarMatch;
      break;
    }
    CopyMatch(out + pos, d, len);
    pos += len;
  } while (pEnd - p >= kFastInputMargin && pos <= last);
  s.Buf = buf;
  s.Cnt = cnt;
  s.P = p;
  s.Pos = pos;
  return exit;
}

// The same loop compiled twice: for any x86-64, and for processors with
// BMI2, whose shifts by a variable count take one step (chosen at run time).
TLoopExit FastLoopPlain(TFastLoop& s) {
  return FastLoop(s);
}
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
__attribute__((target("bmi2"))) TLoopExit FastLoopBmi2(TFastLoop& s) {
  return FastLoop(s);
}
const bool kHaveBmi2 = [] {
  __builtin_cpu_init();
  return __builtin_cpu_supports("bmi2") != 0;
}();
TLoopExit RunFastLoop(TFastLoop& s) {
  return kHaveBmi2 ? FastLoopBmi2(s) : FastLoopPlain(s);
}
#else
TLoopExit RunFastLoop(TFastLoop& s) {
  return FastLoopPlain(s);
}
#endif

// The fast loop over the current chunk and output; a match it leaves goes
// through Copy, and the loop goes on.
int TInflater::FastCodes(const TDecodeTable& lit, const TDecodeTable& dist, bool& endOfBlock) {
  endOfBlock = false;
  for (;;) {
    // The caller checked Pos < Mark and Pos + kFastOutputMargin <= Limit.
    TFastLoop s{lit.Entries,
                dist.Entries,
                (uint64_t(1) << lit.Bits) - 1,
                (uint64_t(1) << dist.Bits) - 1,
                In.Buf,
                In.Cnt,
                In.P,
                In.P + In.Left,
                Out,
                Pos,
                std::min(Mark - 1, Limit - kFastOutputMargin)};
    TLoopExit exit = RunFastLoop(s);
    In.Buf = s.Buf;
    In.Cnt = s.Cnt;
    In.Left -= s.P - In.P;
    In.P = s.P;
    Pos = s.Pos;
    switch (exit) {
      case TLoopExit::Margin: return kBlockOk;
      case TLoopExit::EndOfBlock: endOfBlock = true; return kBlockOk;
      case TLoopExit::BadData: return kBadData;
      case TLoopExit::FarMatch: break;
    }
    // At most up to the end of Out: the output margin leaves room.
    if (int r = Copy(s.Len, s.Distance)) return r;
    if (Pos >= Mark || Pos + kFastOutputMargin > Limit || In.Left < kFastInputMargin)
      return kBlockOk;
  }
}

// RFC 1951 3.2.5: literal/length and distance codes up to the end of block.
int TInflater::Codes(const TDecodeTable& lit, const TDecodeTable& dist) {
  for (;;) {
    if (Pos >= Mark) Report(Pos - Pos % kOutputBytes);
    if (In.Left >= kFastInputMargin && Pos < Mark && Pos + kFastOutputMargin <= Limit) {
      bool endOfBlock;
      int r = FastCodes(lit, dist, endOfBlock);
      if (r || endOfBlock) return r;
      if (Pos >= Mark) continue;
      if (In.Left >= kFastInputMargin && Pos + kFastOutputMargin <= Limit) continue;
    }
    TCodeEntry e;
    unsigned len, distance;
    int r = Decode(lit, e, len);
    if (r) return r;
    if (e.Op == opLiteral) {
      Out[Pos++] = uint8_t(len);
      if (Pos == Limit && !OutputFull()) return kSinkFailed;
      continue;
    }
    if (e.Op == opEndOfBlock) return kBlockOk;
    if ((r = Decode(dist, e, distance)) != 0) return r;
    if ((r = Copy(len, distance)) != 0) return r;
  }
}

// RFC 1951 3.2.4: LEN and NLEN after the byte boundary, then LEN raw bytes.
int TInflater::Stored() {
  In.Drop(In.Cnt & 7);
  uint32_t len, nlen;
  if (!In.Get(16, len) || !In.Get(16, nlen)) return kExhausted;
  if (len != (~nlen & 0xFFFF)) return kBadData;
  while (len > 0) {
    if (In.Cnt >= 8) {
      Out[Pos++] = uint8_t(In.Buf);
      In.Drop(8);
      --len;
    } else {
      // The bit buffer is empty (whole bytes only since the boundary).
      In.Buf = 0;
      if (In.Left <= 0 && !In.NextChunk()) return kExhausted;
      size_t n = size_t(std::min<int64_t>({len, In.Left, int64_t(Limit - Pos)}));
      std::memcpy(Out + Pos, In.P, n);
      In.P += n;
      In.Left -= int64_t(n);
      Pos += n;
      len -= uint32_t(n);
    }
    if (Pos == Limit && !OutputFull()) return kSinkFailed;
    if (Pos >= Mark) Report(Pos - Pos % kOutputBytes);
  }
  return kBlockOk;
}

// RFC 1951 3.2.6.
int TInflater::Fixed() {
  constexpr unsigned kFixedDistanceCodes = 32;  // 30 used, all five bits long
  uint8_t lens[kLitLenSymbols];
  std::fill(lens, lens + 144, 8);
  std::fill(lens + 144, lens + 256, 9);
  std::fill(lens + 256, lens + 280, 7);
  std::fill(lens + 280, lens + kLitLenSymbols, 8);
  TDecodeTable lit, dist;
  int r = BuildDecodeTable(lens, kLitLenSymbols, kFirstLengthSymbol, kLenBase, kLenExtra,
                           kLitLenLookup, lit, ebCodeAndExtra);
  if (r) return r;
  std::fill(lens, lens + kDistanceSymbols, 5);
  r = BuildDecodeTable(lens, kDistanceSymbols, 0, kDistBase, kDistExtra, kDistanceLookup, dist,
                       ebCodeAndExtra);
  static_assert(kDistanceSymbols < kFixedDistanceCodes);
  if (r > btIncomplete) return r;  // 30 of 32 five-bit codes: incomplete by design
  return Codes(lit, dist);
}

// RFC 1951 3.2.7.
int TInflater::Dynamic() {
  uint32_t hlit, hdist, hclen;
  if (!In.Get(5, hlit) || !In.Get(5, hdist) || !In.Get(4, hclen)) return kExhausted;
  hlit += kFirstLengthSymbol;
  hdist += 1;
  hclen += 4;
  if (hlit > kMaxLitLenCodes || hdist > kDistanceSymbols) return kBadData;

  uint8_t lens[kMaxLitLenCodes + kDistanceSymbols] = {};
  for (unsigned i = 0; i < hclen; ++i) {
    uint32_t x;
    if (!In.Get(3, x)) return kExhausted;
    lens[kClOrder[i]] = uint8_t(x);
  }
  int r;
  {
    TDecodeTable cl;
    if ((r = BuildDecodeTable(lens, kCodeLengthSymbols, kCodeLengthSymbols, nullptr, nullptr,
                              kCodeLengthLookup, cl)) != 0)
      return r;
    static_assert(kCodeLengthLookup >= kMaxCodeLengthCode, "one access per code length code");
    std::fill(lens, lens + kCodeLengthSymbols, 0);
    unsigned n = hlit + hdist, i = 0;
    uint8_t prev = 0;
    while (i < n) {
      TCodeEntry e;
      unsigned sym;
      if ((r = Decode(cl, e, sym)) != 0) return r;
      if (sym < kRepeatPrevious) {
        lens[i++] = prev = uint8_t(sym);
        continue;
      }
      uint32_t x;
      unsigned rep;
      uint8_t fill = 0;
      if (sym == kRepeatPrevious) {
        if (!In.Get(2, x)) return kExhausted;
        rep = 3 + x;
        fill = prev;
      } else if (sym == kRepeatZerosShort) {
        if (!In.Get(3, x)) return kExhausted;
        rep = 3 + x;
      } else {
        if (!In.Get(7, x)) return kExhausted;
        rep = 11 + x;
      }
      if (i + rep > n) return kBadData;
      std::fill(lens + i, lens + i + rep, fill);
      i += rep;
      prev = fill;
    }
  }
  TDecodeTable lit, dist;
  if ((r = BuildDecodeTable(lens, hlit, kFirstLengthSymbol, kLenBase, kLenExtra, kLitLenLookup, lit,
                            ebCodeAndExtra)) != 0)
    return r;
  if ((r = BuildDecodeTable(lens + hlit, hdist, 0, kDistBase, kDistExtra, kDistanceLookup, dist,
                            ebCodeAndExtra)) != 0)
    return r;
  return Codes(lit, dist);
}

// RFC 1951 3.2.3: BFINAL, BTYPE.
int TInflater::Block(bool& last) {
  uint32_t final, type;
  if (!In.Get(1, final) || !In.Get(2, type)) return kExhausted;
  last = final != 0;
  switch (type) {
    case kStoredBlock: return Stored();
    case kFixedBlock: return Fixed();
    case kDynamicBlock: return Dynamic();
    default: return kBadData;
  }
}

}  // namespace

void Inflate(TRunContext& ctx) {
  TInflater z(ctx);
  bool last = false;
  int r;
  do {
    r = z.Block(last);
  } while (r == kBlockOk && !last);
  if (r != kBlockOk) ctx.Failed = true;
  z.Finish();
}
