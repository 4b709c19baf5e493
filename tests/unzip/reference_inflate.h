// A plain deflate decoder to diff the fast one against: one bit at a time,
// codes found by walking the canonical code counts (in the manner of puff.c),
// output in a growing vector. Its failure rules are those of the component:
// bad data, a code that needs bits past the entry's end, or output beyond
// the declared size fail the entry; a distance before the first byte reads
// zeros (a cleared window).
#pragma once

#include <cstdint>
#include <vector>

namespace reference {

struct TInflateResult {
  bool Ok = false;
  std::vector<uint8_t> Out;
};

class TInflater {
 public:
  TInflater(const std::vector<uint8_t>& in, int64_t limit) : In(in), Limit(limit) {}

  TInflateResult Run() {
    TInflateResult r;
    bool last = false;
    do {
      int b0, t;
      bool ok = Bits(1, b0) && Bits(2, t);
      last = b0;
      ok = ok && (t == 0 ? Stored() : t == 1 ? Fixed() : t == 2 ? Dynamic() : false);
      if (!ok) {
        r.Out = Out;
        return r;
      }
    } while (!last);
    r.Ok = int64_t(Out.size()) <= Limit;
    r.Out = Out;
    return r;
  }

 private:
  struct THuff {
    int Count[17] = {};
    std::vector<int> Symbol;
    int MaxLen = 0;
  };

  bool Bits(int n, int& v) {
    v = 0;
    for (int i = 0; i < n; ++i, ++Pos) {
      if (Pos >= In.size() * 8) return false;
      v |= ((In[Pos >> 3] >> (Pos & 7)) & 1) << i;
    }
    return true;
  }
  // 0 complete, 1 incomplete, 2 over-subscribed, as the component counts them.
  static int Construct(THuff& h, const uint8_t* len, int n) {
    for (int i = 0; i < n; ++i) h.Count[len[i]]++;
    if (h.Count[0] == n) return 0;
    int left = 1;
    for (int l = 1; l <= 16; ++l) {
      left = left * 2 - h.Count[l];
      if (left < 0) return 2;
      if (h.Count[l]) h.MaxLen = l;
    }
    int offs[18] = {};
    for (int l = 1; l <= 16; ++l) offs[l + 1] = offs[l] + h.Count[l];
    h.Symbol.assign(offs[17], 0);
    for (int i = 0; i < n; ++i)
      if (len[i]) h.Symbol[offs[len[i]]++] = i;
    return left > 0 && h.MaxLen != 1 ? 1 : 0;
  }
  // Symbol, or -1 for bad data, -2 for bits past the end.
  int Decode(const THuff& h) {
    int code = 0, first = 0, index = 0;
    for (int l = 1; l <= 16; ++l) {
      int b;
      if (!Bits(1, b)) return -2;
      code |= b;
      int count = h.Count[l];
      if (code - count < first) return h.Symbol[index + (code - first)];
      index += count;
      first = (first + count) << 1;
      code <<= 1;
    }
    return -1;
  }
  bool Stored() {
    Pos = (Pos + 7) & ~size_t(7);
    int len, nlen;
    if (!Bits(16, len) || !Bits(16, nlen) || len != (~nlen & 0xFFFF)) return false;
    for (int i = 0; i < len; ++i) {
      int b;
      if (!Bits(8, b)) return false;
      if (!Put(uint8_t(b))) return false;
    }
    return true;
  }
  bool Put(uint8_t b) {
    Out.push_back(b);
    return int64_t(Out.size()) <= Limit + 65536;  // the component stops within a flush or two
  }
  bool Codes(const THuff& lit, const THuff& dist, bool fixed) {
    static const int kLenBase[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                     15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                     67, 83, 99, 115, 131, 163, 195, 227, 258};
    static const int kLenExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
    static const int kDistBase[30] = {
        1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
        193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
    static const int kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                       6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
    (void)fixed;
    for (;;) {
      int sym = Decode(lit);
      if (sym < 0) return false;
      if (sym < 256) {
        if (!Put(uint8_t(sym))) return false;
        continue;
      }
      if (sym == 256) return true;
      sym -= 257;
      if (sym >= 29) return false;
      int x;
      if (!Bits(kLenExtra[sym], x)) return false;
      int len = kLenBase[sym] + x;
      int ds = Decode(dist);
      if (ds < 0 || ds >= 30) return false;
      if (!Bits(kDistExtra[ds], x)) return false;
      int d = kDistBase[ds] + x;
      for (int i = 0; i < len; ++i) {
        int64_t from = int64_t(Out.size()) - d;
        if (!Put(from < 0 ? 0 : Out[size_t(from)])) return false;
      }
    }
  }
  bool Fixed() {
    uint8_t len[288];
    for (int i = 0; i < 288; ++i) len[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
    THuff lit, dist;
    Construct(lit, len, 288);
    for (int i = 0; i < 30; ++i) len[i] = 5;
    Construct(dist, len, 30);
    return Codes(lit, dist, true);
  }
  bool Dynamic() {
    static const int kOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                   11, 4,  12, 3, 13, 2, 14, 1, 15};
    int hlit, hdist, hclen;
    if (!Bits(5, hlit) || !Bits(5, hdist) || !Bits(4, hclen)) return false;
    hlit += 257;
    hdist += 1;
    hclen += 4;
    if (hlit > 286 || hdist > 30) return false;
    uint8_t len[320] = {};
    for (int i = 0; i < hclen; ++i) {
      int x;
      if (!Bits(3, x)) return false;
      len[kOrder[i]] = uint8_t(x);
    }
    THuff cl;
    if (Construct(cl, len, 19) != 0) return false;
    int n = hlit + hdist, i = 0, prev = 0;
    while (i < n) {
      int sym = Decode(cl);
      if (sym < 0) return false;
      if (sym < 16) {
        len[i++] = uint8_t(prev = sym);
        continue;
      }
      int x, rep, fill = 0;
      if (sym == 16) {
        if (!Bits(2, x)) return false;
        rep = 3 + x;
        fill = prev;
      } else if (sym == 17) {
        if (!Bits(3, x)) return false;
        rep = 3 + x;
      } else {
        if (!Bits(7, x)) return false;
        rep = 11 + x;
      }
      if (i + rep > n) return false;
      while (rep--) len[i++] = uint8_t(fill);
      prev = fill;
    }
    THuff lit, dist;
    if (Construct(lit, len, hlit) != 0) return false;
    if (Construct(dist, len + hlit, hdist) != 0) return false;
    return Codes(lit, dist, false);
  }

  const std::vector<uint8_t>& In;
  int64_t Limit;
  size_t Pos = 0;
  std::vector<uint8_t> Out;
};

inline TInflateResult Inflate(const std::vector<uint8_t>& in, int64_t limit = INT64_C(1) << 40) {
  return TInflater(in, limit).Run();
}

}  // namespace reference
