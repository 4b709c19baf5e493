// Unshrink: the decoder of compression method 1 (shrinking, APPNOTE 5.1),
// dynamic LZW with codes of 9 to 13 bits and partial clearing.
//
// Format notes:
// - Codes 0..255 stand for their byte. Code 256 is followed by a sub-code:
//   1 widens the codes by one bit (never past 13 bits here), 2 frees every
//   code that is no other code's prefix (partial clear); others are ignored.
// - A code not yet defined (its prefix is free) is the previous string plus
//   its own first byte (the KwKwK case of LZW).
// - The entry ends when the compressed bytes end, also in the middle of a
//   code: that code is not used.
// - Corrupt data can make a prefix walk meet free codes again and again; the
//   walk stops the decoder (the entry fails) once it would push more than the
//   8192-byte stack holds. Codes never exceed 8191, so the tables of codes
//   0..8192 are never indexed beyond their end.
//
// Working memory, inside the run context's Window block:
//   bytes 0..16385       prefix of codes 0..8192, 16 bits each (0xFFFF = free)
//   bytes 16390..24582   suffix byte of codes 0..8192
//   bytes 24585..32776   output stack, filled downwards
#include <cstring>

#include "unzip/DecoderIO.h"

namespace {

constexpr unsigned kCodeLimit = 8192;  // codes 0..8192 have table entries
constexpr unsigned kFirstFree = 257;
constexpr unsigned kMaxCodeBits = 13;
constexpr uint16_t kFree = 0xFFFF;
constexpr size_t kSuffixAt = 16390;
constexpr size_t kStackAt = 24585;
constexpr size_t kStackSize = 8192;
static_assert(2 * (kCodeLimit + 1) <= kSuffixAt, "prefix table ends before the suffixes");
static_assert(kSuffixAt + kCodeLimit + 1 <= kStackAt, "suffixes end before the stack");
static_assert(kStackAt + kStackSize <= size_t(kWindowBytes), "the stack fits the window block");

class TUnshrinker {
 public:
  explicit TUnshrinker(TRunContext& ctx)
      : Ctx(ctx),
        In(ctx),
        Suffix(ctx.Window + kSuffixAt),
        StackEnd(ctx.Window + kStackAt + kStackSize) {}
  void Run();

 private:
  uint16_t Prefix(unsigned code) const {
    uint16_t v;
    std::memcpy(&v, Ctx.Window + 2 * code, 2);
    return v;
  }
  void SetPrefix(unsigned code, uint16_t v) { std::memcpy(Ctx.Window + 2 * code, &v, 2); }
  // The refilling reader: when a code needs more bits than are held, whole
  // bytes are appended up to 25 bits. False when the input ends first.
  bool ReadCode(unsigned& code) {
    if (In.Cnt < CodeBits) {
      if (In.Left >= 8)
        In.RefillFast();
      else
        In.Fill(25);
      if (In.Cnt < CodeBits) return false;
    }
    code = In.Peek(CodeBits);
    In.Drop(CodeBits);
    return true;
  }
  void PartialClear();

  TRunContext& Ctx;
  TBitReader In;
  uint8_t* Suffix;
  uint8_t* StackEnd;
  unsigned CodeBits = 9;
  unsigned NextFree = kFirstFree;
};

// Frees the codes from 257 up to the next free code that are no other such
// code's prefix; the next free code becomes the lowest free one.
void TUnshrinker::PartialClear() {
  bool hasChild[kCodeLimit + 1] = {};
  for (unsigned c = kFirstFree; c < NextFree; ++c) {
    uint16_t p = Prefix(c);
    if (p != kFree && p >= kFirstFree && p <= kCodeLimit) hasChild[p] = true;
  }
  for (unsigned c = kFirstFree; c < NextFree; ++c)
    if (!hasChild[c]) SetPrefix(c, kFree);
  NextFree = kFirstFree;
  while (NextFree < kCodeLimit && Prefix(NextFree) != kFree) ++NextFree;
}

void TUnshrinker::Run() {
  for (unsigned c = 0; c < 256; ++c) {
    SetPrefix(c, 0);
    Suffix[c] = uint8_t(c);
  }
  for (unsigned c = 256; c <= kCodeLimit; ++c) {
    SetPrefix(c, kFree);
    Suffix[c] = 0;
  }

  unsigned code;
  if (!ReadCode(code)) return;
  uint8_t last = uint8_t(code);
  Ctx.OutputBuffer[Ctx.OutFill++] = last;
  unsigned prev = code;

  for (;;) {
    if (!ReadCode(code)) break;
    if (code == 256) {
      unsigned sub;
      if (!ReadCode(sub)) break;
      if (sub == 1 && CodeBits < kMaxCodeBits) ++CodeBits;
      if (sub == 2) PartialClear();
      continue;
    }
    // Walk the prefix chain, pushing suffix bytes (the string comes out backwards).
    uint8_t* sp = StackEnd;
    unsigned c = code;
    if (Prefix(c) == kFree) {
      *--sp = last;
      c = prev;
    }
    while (c >= kFirstFree) {
      if (size_t(StackEnd - sp) + 2 > kStackSize) {  // this push and the final byte
        Ctx.Failed = true;
        return;
      }
      uint16_t p = Prefix(c);
      if (p == kFree) {
        *--sp = last;
        c = prev;
      } else {
        *--sp = Suffix[c];
        c = p;
      }
    }
    last = Suffix[c];
    *--sp = last;
    WindowFlush(Ctx, sp, int32_t(StackEnd - sp));
    if (Ctx.Failed) return;

    if (NextFree < kCodeLimit) {
      SetPrefix(NextFree, uint16_t(prev));
      Suffix[NextFree] = last;
      do ++NextFree;
      while (NextFree < kCodeLimit && Prefix(NextFree) != kFree);
    }
    prev = code;
  }
  FlushOutput(Ctx);
}

}  // namespace

void Unshrink(TRunContext& ctx) {
  TUnshrinker(ctx).Run();
}
