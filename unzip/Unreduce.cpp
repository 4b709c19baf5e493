// Unreduce: the decoder of compression methods 2 to 5 (reducing with
// compression factor 1 to 4, APPNOTE 5.2): follower sets, then a byte stream
// in which the marker 144 introduces copies from a 16384-byte window.
//
// Format notes:
// - Follower sets come first, for previous bytes 255 down to 0: a 6-bit
//   count N and N bytes. A byte whose predecessor has followers is either a
//   flagged 8-bit literal or an index of 1..6 bits into those followers; an
//   index past N reads a slot of the same 64-byte set (cleared at the start).
// - 144 0 stands for the byte 144; 144 V [extra] D is a copy of
//   (V & L) [+ extra] + 3 bytes from ((V >> shift) & mask) * 256 + D + 1
//   back. Before the window has filled once, a copy from before the first
//   byte gives zeros.
// - Decoding ends when the declared unpacked size has been produced (an
//   empty entry reads nothing); a last copy that would pass it is cut there.
//   Compressed bytes that run out first end the entry as failed.
//
// Working memory, inside the run context's Window block: the window at bytes
// 0..16383, the follower sets (64 bytes per previous byte) at 16384..32767.
#include "unzip/DecoderIO.h"

namespace {

constexpr unsigned kReduceWindow = 16384;
constexpr size_t kFollowersAt = 16384;
static_assert(kFollowersAt + 256 * 64 <= size_t(kWindowBytes),
              "follower sets fit the window block");

// APPNOTE 5.2.5, by factor 1..4: length mask, distance shift and mask.
constexpr uint8_t kLengthMask[5] = {0, 127, 63, 31, 15};
constexpr uint8_t kDistShift[5] = {0, 7, 6, 5, 4};
constexpr uint8_t kDistMask[5] = {0, 1, 3, 7, 15};

unsigned IndexBits(unsigned n) {
  unsigned bits = 1;
  while ((1u << bits) < n) ++bits;
  return bits;
}

class TUnreducer {
 public:
  TUnreducer(TRunContext& ctx, int factor) : Ctx(ctx), In(ctx), Factor(unsigned(factor)) {}
  void Run();

 private:
  bool Put(uint8_t b) {
    Win[Pos++] = b;
    ++Produced;
    if (Pos == kReduceWindow) {
      WindowFlush(Ctx, Win, kReduceWindow);
      Pos = 0;
      return !Ctx.Failed;
    }
    return true;
  }
  bool Copy(int64_t len, unsigned dist) {
    while (len-- > 0) {
      uint8_t b = Produced < int64_t(dist) ? 0 : Win[(Pos - dist) & (kReduceWindow - 1)];
      if (!Put(b)) return false;
    }
    return true;
  }

  TRunContext& Ctx;
  TBitReader In;
  unsigned Factor;
  uint8_t* Win = Ctx.Window;
  unsigned Pos = 0;      // next window byte, < 16384
  int64_t Produced = 0;  // bytes of the entry produced so far
};

void TUnreducer::Run() {
  uint8_t* followers = Ctx.Window + kFollowersAt;
  uint8_t count[256];
  std::memset(followers, 0, 256 * 64);
  uint32_t x;
  if (Ctx.UnpackedSize <= 0) return;  // nothing to produce, nothing to read
  for (int c = 255; c >= 0; --c) {
    if (!In.Get(6, x)) return void(Ctx.Failed = true);
    count[c] = uint8_t(x);
    for (unsigned i = 0; i < count[c]; ++i) {
      if (!In.Get(8, x)) return void(Ctx.Failed = true);
      followers[c * 64 + i] = uint8_t(x);
    }
  }

  const unsigned lengthMask = kLengthMask[Factor];
  int64_t left = Ctx.UnpackedSize;
  unsigned last = 0, state = 0, v = 0, len = 0;
  while (left > 0) {
    // The next byte, through last's follower set.
    unsigned n = count[last];
    if (n == 0) {
      if (!In.Get(8, x)) return void(Ctx.Failed = true);
    } else {
      if (!In.Get(1, x)) return void(Ctx.Failed = true);
      if (x) {
        if (!In.Get(8, x)) return void(Ctx.Failed = true);
      } else {
        if (!In.Get(IndexBits(n), x)) return void(Ctx.Failed = true);
        x = followers[last * 64 + x];
      }
    }
    last = x;

    // The marker state machine.
    bool ok = true;
    switch (state) {
      case 0:
        if (x == 144) {
          state = 1;
        } else {
          ok = Put(uint8_t(x));
          --left;
        }
        break;
      case 1:
        if (x == 0) {
          ok = Put(144);
          --left;
          state = 0;
        } else {
          v = x;
          len = v & lengthMask;
          state = len == lengthMask ? 2 : 3;
        }
        break;
      case 2:
        len += x;
        state = 3;
        break;
      default: {
        unsigned dist = ((v >> kDistShift[Factor]) & kDistMask[Factor]) * 256 + x + 1;
        int64_t n3 = len + 3;
        if (n3 > left) n3 = left;
        ok = Copy(n3, dist);
        left -= n3;
        state = 0;
      }
    }
    if (!ok) return;
  }
  WindowFlush(Ctx, Win, int32_t(Pos));
  FlushOutput(Ctx);
}

}  // namespace

void Unreduce(TRunContext& ctx, int factor) {
  if (factor < 1 || factor > 4) {
    ctx.Failed = true;
    return;
  }
  TUnreducer(ctx, factor).Run();
}
