// Inflate and the run context around it: zlib's streams at every level and
// strategy, the block-level edge cases written bit by bit, the bounds on bad
// input, and a diff against the plain reference decoder on damaged streams.
#include <gtest/gtest.h>

#include <random>

#include "decoder_harness.h"
#include "reference_inflate.h"
#include "unzip/DecodeTable.h"

#ifdef QRVX_HAVE_ZLIB
#include <zlib.h>
#endif

namespace {

[[maybe_unused]] std::vector<uint8_t> TextLike(size_t n, uint32_t seed) {
  static const char* kWords[] = {
      "the ",  "upload ", "form ",  "field ", "archive ", "entry ",  "data ", "of ",   "<td>",
      "</td>", "\r\n",    "value=", "42 ",    "script ",  "server ", "name ", "file ", "and "};
  std::mt19937 rng(seed);
  std::vector<uint8_t> v;
  while (v.size() < n) {
    const char* w = kWords[rng() % (sizeof(kWords) / sizeof(*kWords))];
    while (*w && v.size() < n) v.push_back(uint8_t(*w++));
  }
  return v;
}

std::vector<uint8_t> Random(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = uint8_t(rng());
  return v;
}

std::string AsString(const std::vector<uint8_t>& v) {
  return std::string(v.begin(), v.end());
}

uint32_t Crc(const std::vector<uint8_t>& v) {
  return ~UpdateCrc32(0xFFFFFFFFu, v.data(), v.size());
}

// Stored block header: BFINAL, BTYPE 00, aligned LEN and NLEN.
void PutStored(TBitWriter& w, const std::vector<uint8_t>& data, bool last) {
  w.Put(last, 1);
  w.Put(0, 2);
  w.AlignByte();
  w.PutByte(uint8_t(data.size()));
  w.PutByte(uint8_t(data.size() >> 8));
  w.PutByte(uint8_t(~data.size()));
  w.PutByte(uint8_t(~data.size() >> 8));
  for (uint8_t b : data) w.PutByte(b);
}

TEST(Crc32, MatchesKnownValuesAtEveryAlignment) {
  const char* s = "123456789";
  EXPECT_EQ(~UpdateCrc32(0xFFFFFFFFu, reinterpret_cast<const uint8_t*>(s), 9), 0xCBF43926u);
  auto data = Random(100, 7);
  for (size_t start = 0; start < 9; ++start)
    for (size_t n = 0; n + start <= data.size(); n += 13) {
      uint32_t bytewise = 0xFFFFFFFFu;
      for (size_t i = 0; i < n; ++i) bytewise = Crc32Byte(bytewise, data[start + i]);
      EXPECT_EQ(UpdateCrc32(0xFFFFFFFFu, data.data() + start, n), bytewise);
    }
}

// The folding path takes pieces of 128 bytes and more; every length and
// alignment around its block sizes, running values carried across pieces,
// and a long buffer must agree with the table method and with zlib.
TEST(Crc32, FoldingAgreesWithTheTables) {
  auto data = Random(70000, 11);
  for (size_t start = 0; start < 16; ++start)
    for (size_t n = 0; n + start <= 1200; ++n)
      ASSERT_EQ(UpdateCrc32(0x12345678u, data.data() + start, n),
                TableUpdateCrc32(0x12345678u, data.data() + start, n))
          << start << " " << n;
  uint32_t pieces = 0xFFFFFFFFu;
  for (size_t at = 0, step = 1; at < data.size(); at += step, step = step * 3 % 4099 + 1)
    pieces = UpdateCrc32(pieces, data.data() + at, std::min(step, data.size() - at));
  EXPECT_EQ(pieces, TableUpdateCrc32(0xFFFFFFFFu, data.data(), data.size()));
  std::vector<uint8_t> ones(4096, 0xFF);
  EXPECT_EQ(UpdateCrc32(0, ones.data(), ones.size()),
            TableUpdateCrc32(0, ones.data(), ones.size()));
#ifdef QRVX_HAVE_ZLIB
  EXPECT_EQ(Crc(data), uint32_t(crc32(0, data.data(), uInt(data.size()))));
#endif
}

TEST(DecodeTable, ResultsAndLookupBits) {
  TDecodeTable t;
  uint8_t none[4] = {0, 0, 0, 0};
  EXPECT_EQ(BuildDecodeTable(none, 4, 4, nullptr, nullptr, 7, t), btComplete);
  EXPECT_EQ(t.Bits, 0u);
  EXPECT_EQ(t.Entries[0].Op, opInvalid);

  uint8_t complete[4] = {1, 2, 3, 3};
  EXPECT_EQ(BuildDecodeTable(complete, 4, 4, nullptr, nullptr, 7, t), btComplete);
  EXPECT_EQ(t.Bits, 3u);  // lowered to the longest code
  // Codes 0, 10, 110, 111 read lowest bit first.
  EXPECT_EQ(t.Entries[0].Val, 0);
  EXPECT_EQ(t.Entries[0].Bits, 1);
  EXPECT_EQ(t.Entries[1].Val, 1);
  EXPECT_EQ(t.Entries[3].Val, 2);
  EXPECT_EQ(t.Entries[7].Val, 3);

  uint8_t incomplete[3] = {2, 2, 2};
  EXPECT_EQ(BuildDecodeTable(incomplete, 3, 3, nullptr, nullptr, 7, t), btIncomplete);
  EXPECT_EQ(t.Entries[3].Op, opInvalid);
  uint8_t oneBit[2] = {1, 0};
  EXPECT_EQ(BuildDecodeTable(oneBit, 2, 2, nullptr, nullptr, 7, t), btComplete);
  uint8_t over[3] = {1, 1, 1};
  EXPECT_EQ(BuildDecodeTable(over, 3, 3, nullptr, nullptr, 7, t), btOverSubscribed);

  // Raised to the shortest code; codes longer than the lookup go to sub-tables.
  uint8_t wide[258];
  for (auto& l : wide) l = 8;
  wide[255] = 9;
  wide[256] = 10;
  wide[257] = 10;
  const uint16_t base[1] = {3};
  const uint8_t extra[1] = {0};
  EXPECT_EQ(BuildDecodeTable(wide, 258, 257, base, extra, 5, t), btComplete);
  EXPECT_EQ(t.Bits, 8u);
  EXPECT_EQ(BuildDecodeTable(wide, 258, 257, base, extra, 9, t), btComplete);
  // Codes of symbols 256 and 257 are 1111111110 and 1111111111: a 1-bit sub-table.
  const TCodeEntry& ref = t.Entries[511];
  EXPECT_EQ(ref.Op, 17);
  EXPECT_EQ(t.Entries[ref.Val + 0].Op, opEndOfBlock);
  EXPECT_EQ(t.Entries[ref.Val + 1].Val, 3);
}

TEST(DecodeTable, OutOfMemoryShowsTheMessageBox) {
  SetDecodeTableAllocator([](size_t) -> void* { return nullptr; });
  testing::internal::CaptureStderr();
  TDecodeTable t;
  uint8_t lens[2] = {1, 1};
  int r = BuildDecodeTable(lens, 2, 2, nullptr, nullptr, 7, t);
  auto fixed = RunDecoder({0x03, 0x00});  // fixed block, end of block
  std::string err = testing::internal::GetCapturedStderr();
  SetDecodeTableAllocator(nullptr);
  EXPECT_EQ(r, btOutOfMemory);
#ifndef _WIN32
  // Without a desktop the message goes to the debugger output, which the
  // platform layer writes to standard error (Windows keeps it elsewhere).
  EXPECT_NE(err.find("[Error] *** inflate out of memory ***"), std::string::npos);
#endif
  EXPECT_TRUE(fixed.Failed);
  EXPECT_TRUE(fixed.Writes.empty());
}

TEST(InflateBlocks, EmptyStoredBlockGivesNothingAndCrcZero) {
  auto r = RunDecoder({0x01, 0x00, 0x00, 0xFF, 0xFF}, {.Unpacked = 0});
  EXPECT_FALSE(r.Failed);
  EXPECT_EQ(r.Out, "");
  EXPECT_EQ(r.Crc, 0u);
  EXPECT_TRUE(r.Writes.empty());
  EXPECT_TRUE(r.Progress.empty());
}

TEST(InflateBlocks, StoredBlockCrossesTheWindowAndReachesTheSinkIn16000s) {
  auto data = Random(40000, 1);
  TBitWriter w;
  PutStored(w, data, true);
  auto r = RunDecoder(w.Bytes, {.Unpacked = 40000});
  EXPECT_FALSE(r.Failed);
  EXPECT_EQ(r.Out, AsString(data));
  EXPECT_EQ(r.Writes, (std::vector<int32_t>{16000, 16000, 8000}));
  EXPECT_EQ(r.Crc, Crc(data));
  ASSERT_EQ(r.Progress.size(), 3u);
  EXPECT_EQ(r.Progress[2], (std::pair<int64_t, int32_t>{40000, 8000}));
  // Input arrives in chunks of 16000 bytes, each after a message pump.
  EXPECT_EQ(r.Chunks, (std::vector<int32_t>{16000, 16000, 8005}));
  EXPECT_EQ(r.Messages, 3);
}

TEST(InflateBlocks, BadBlocksFailWithoutFlushing) {
  auto data = Random(40000, 2);
  TBitWriter ok;
  PutStored(ok, data, false);
  // Block type 3 after 40000 good bytes: the window was flushed once (32768
  // bytes), of which 32000 reached the sink; nothing more is flushed.
  TBitWriter bad = ok;
  bad.Put(1, 1);
  bad.Put(3, 2);
  auto r = RunDecoder(bad.Bytes);
  EXPECT_TRUE(r.Failed);
  EXPECT_EQ(r.Writes, (std::vector<int32_t>{16000, 16000}));

  TBitWriter nlen;  // NLEN not the complement of LEN
  nlen.Put(1, 1);
  nlen.Put(0, 2);
  for (uint8_t b : {0x05, 0x00, 0xFA, 0xFE, 1, 2, 3, 4, 5}) nlen.PutByte(b);
  EXPECT_TRUE(RunDecoder(nlen.Bytes).Failed);

  TBitWriter hlit;  // HLIT 287
  hlit.Put(1, 1);
  hlit.Put(2, 2);
  hlit.Put(30, 5);
  hlit.Put(0, 5);
  hlit.Put(15, 4);
  for (int i = 0; i < 60; ++i) hlit.Put(0, 8);
  EXPECT_TRUE(RunDecoder(hlit.Bytes).Failed);
}

// A dynamic block with code lengths written out: code length codes 16 and
// 1 and 2..., see each test for the alphabet.
struct TDynamic {
  TBitWriter W;
  // Code length code: lengths of the 19 symbols, 3 bits each in RFC order.
  void Header(unsigned hlit, unsigned hdist, const uint8_t (&clLen)[19]) {
    static const int kOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                   11, 4,  12, 3, 13, 2, 14, 1, 15};
    W.Put(1, 1);
    W.Put(2, 2);
    W.Put(hlit - 257, 5);
    W.Put(hdist - 1, 5);
    W.Put(19 - 4, 4);
    for (int i = 0; i < 19; ++i) W.Put(clLen[kOrder[i]], 3);
  }
};

TEST(InflateBlocks, DynamicBlockStartingWithRepeatAndASingleDistanceCode) {
  // Code length alphabet: 1, 2, 16, 18 with 2 bits each (codes 00 01 10 11).
  uint8_t cl[19] = {};
  cl[1] = cl[2] = cl[16] = cl[18] = 2;
  TDynamic d;
  d.Header(257, 1, cl);
  auto sym = [&](int s) { d.W.PutCode(s == 1 ? 0 : s == 2 ? 1 : s == 16 ? 2 : 3, 2); };
  // Literal/length lengths: symbol 16 first repeats the previous length, 0,
  // three times; then 18 zeros up to 'a' (97): 97 - 3 = 94 -> 11 + 83.
  sym(16);
  d.W.Put(0, 2);
  sym(18);
  d.W.Put(83, 7);
  sym(1);  // 'a' length 1
  // Zeros for 98..255 (158) then 256 length 1: 138 + 20.
  sym(18);
  d.W.Put(127, 7);
  sym(18);
  d.W.Put(9, 7);
  sym(1);  // 256
  sym(1);  // the one distance code, length 1 (incomplete, but accepted)
  // 'a' = 0, end of block = 1.
  d.W.PutCode(0, 1);
  d.W.PutCode(0, 1);
  d.W.PutCode(1, 1);
  auto r = RunDecoder(d.W.Bytes);
  EXPECT_FALSE(r.Failed);
  EXPECT_EQ(r.Out, "aa");
  auto ref = reference::Inflate(d.W.Bytes);
  EXPECT_TRUE(ref.Ok);
}

TEST(InflateBlocks, RepeatPastTheCountFails) {
  uint8_t cl[19] = {};
  cl[1] = cl[2] = cl[16] = cl[18] = 2;
  TDynamic d;
  d.Header(257, 1, cl);
  for (int i = 0; i < 3; ++i) {  // 3 x 138 zeros > 258 lengths
    d.W.PutCode(3, 2);
    d.W.Put(127, 7);
  }
  EXPECT_TRUE(RunDecoder(d.W.Bytes).Failed);
}

TEST(InflateBounds, OutputBeyondTheDeclaredSizeFails) {
  // Fixed block: 'x', then matches of 258 at distance 1, many times.
  TBitWriter w;
  w.Put(1, 1);
  w.Put(1, 2);
  w.PutCode(0x30 + 'x', 8);
  for (int i = 0; i < 5000; ++i) {
    w.PutCode(0xC5, 8);  // symbol 285: length 258
    w.PutCode(0, 5);     // distance 1
  }
  w.PutCode(0, 7);  // end of block
  auto full = RunDecoder(w.Bytes);
  ASSERT_FALSE(full.Failed);
  EXPECT_EQ(full.Out.size(), 1u + 5000u * 258u);
  auto bomb = RunDecoder(w.Bytes, {.Unpacked = 1000});
  EXPECT_TRUE(bomb.Failed);
  EXPECT_LE(bomb.Out.size(), 1000u);
  auto exact = RunDecoder(w.Bytes, {.Unpacked = int64_t(full.Out.size())});
  EXPECT_FALSE(exact.Failed);

  // Decoded straight into a plain memory stream: the block grows from far
  // below the output to exactly the declared size, never past it.
  auto whole = RunDecoder(w.Bytes, {.PlainSink = true});
  EXPECT_FALSE(whole.Failed);
  EXPECT_EQ(whole.Out, full.Out);
  EXPECT_EQ(whole.Crc, full.Crc);
  EXPECT_EQ(whole.Progress, full.Progress);
  auto wholeBomb = RunDecoder(w.Bytes, {.Unpacked = 1000, .PlainSink = true});
  EXPECT_TRUE(wholeBomb.Failed);
  EXPECT_EQ(wholeBomb.Out, "");
  auto wholeExact = RunDecoder(w.Bytes, {.Unpacked = int64_t(full.Out.size()), .PlainSink = true});
  EXPECT_FALSE(wholeExact.Failed);
  EXPECT_EQ(wholeExact.Out, full.Out);
}

// Into a plain memory stream the entry follows what the stream held; the
// stream ends at the entry's end, and failed entries leave only the pieces
// already reported. A distance before the entry's first byte reads zeros,
// as from a cleared window.
TEST(InflateWhole, AppendsToTheStreamAndReportsAsTheWindowDoes) {
  auto data = Random(40000, 1);
  TBitWriter w;
  PutStored(w, data, true);
  auto window = RunDecoder(w.Bytes, {.Unpacked = 40000});
  auto whole = RunDecoder(w.Bytes, {.Unpacked = 40000, .PlainSink = true, .Prefix = "head"});
  EXPECT_FALSE(whole.Failed);
  EXPECT_EQ(whole.Out, "head" + AsString(data));
  EXPECT_EQ(whole.Position, 40004);
  EXPECT_EQ(whole.Progress, window.Progress);
  EXPECT_EQ(whole.Crc, window.Crc);

  TBitWriter bad = w;  // a good block of 40000 bytes marked not last, then type 3
  bad.Bytes[0] &= 0xFE;
  bad.Put(1, 1);
  bad.Put(3, 2);
  auto failed = RunDecoder(bad.Bytes, {.PlainSink = true, .Prefix = "head"});
  EXPECT_TRUE(failed.Failed);
  EXPECT_EQ(failed.Out, "head" + AsString(data).substr(0, 32000));

  TBitWriter before;  // fixed block: 'a', then length 3 at distance 4
  before.Put(1, 1);
  before.Put(1, 2);
  before.PutCode(0x30 + 'a', 8);
  before.PutCode(1, 7);  // symbol 257: length 3
  before.PutCode(3, 5);  // distance code 3: distance 4
  before.PutCode(0, 7);
  auto zeros = RunDecoder(before.Bytes, {.PlainSink = true, .Prefix = "xyz"});
  EXPECT_FALSE(zeros.Failed);
  EXPECT_EQ(zeros.Out, std::string("xyza\0\0\0", 7));
  auto ref = reference::Inflate(before.Bytes);
  EXPECT_EQ(std::string("a\0\0\0", 4), AsString(ref.Out));
}

// Fixed-code symbols (RFC 1951 3.2.6), for streams written symbol by symbol.
void PutFixedSymbol(TBitWriter& w, unsigned sym) {
  if (sym < 144)
    w.PutCode(0x30 + sym, 8);
  else if (sym < 256)
    w.PutCode(0x190 + sym - 144, 9);
  else if (sym < 280)
    w.PutCode(sym - 256, 7);
  else
    w.PutCode(0xC0 + sym - 280, 8);
}
void PutFixedMatch(TBitWriter& w, unsigned len, unsigned dist) {
  static const unsigned kLenBase[] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                      15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                      67, 83, 99, 115, 131, 163, 195, 227, 258};
  static const unsigned kDistBase[] = {
      1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
      193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
  unsigned l = 28;
  while (kLenBase[l] > len) --l;
  PutFixedSymbol(w, 257 + l);
  unsigned lenExtra = l < 8 || l == 28 ? 0 : (l - 4) / 4;
  w.Put(len - kLenBase[l], lenExtra);
  unsigned d = 29;
  while (kDistBase[d] > dist) --d;
  w.PutCode(d, 5);
  w.Put(dist - kDistBase[d], d < 4 ? 0 : (d - 2) / 2);
}

// Matches of every short distance, each against every length class, and far
// ones across the window's end: the fast copies (steps of 16 and 8, the
// repeated patterns below 8) give what the reference gives, into the window
// and into a plain memory stream.
TEST(InflateMatches, EveryShortDistanceAndLengthGiveTheReferenceBytes) {
  std::mt19937 rng(21);
  TBitWriter w;
  w.Put(1, 1);
  w.Put(1, 2);
  unsigned produced = 0;
  auto literals = [&](unsigned n) {
    for (unsigned i = 0; i < n; ++i) PutFixedSymbol(w, rng() % 256);
    produced += n;
  };
  literals(64);
  const unsigned lengths[] = {3,  4,  5,  7,  8,  9,  15,  16,  17, 31,
                              32, 33, 40, 63, 64, 65, 130, 257, 258};
  for (unsigned dist = 1; dist <= 40; ++dist)
    for (unsigned len : lengths) {
      PutFixedMatch(w, len, dist);
      produced += len;
      literals(rng() % 3);
    }
  while (produced < 70000) {  // past the window's end twice
    unsigned dist = 1 + rng() % std::min(produced, 32768u);
    unsigned len = lengths[rng() % std::size(lengths)];
    PutFixedMatch(w, len, dist);
    produced += len;
    literals(rng() % 4);
  }
  PutFixedSymbol(w, 256);
  auto ref = reference::Inflate(w.Bytes);
  ASSERT_TRUE(ref.Ok);
  ASSERT_EQ(ref.Out.size(), produced);
  auto window = RunDecoder(w.Bytes, {.Unpacked = produced});
  EXPECT_FALSE(window.Failed);
  EXPECT_EQ(window.Out, AsString(ref.Out));
  auto whole = RunDecoder(w.Bytes, {.Unpacked = produced, .PlainSink = true, .Prefix = "p"});
  EXPECT_FALSE(whole.Failed);
  EXPECT_EQ(whole.Out, "p" + AsString(ref.Out));
  EXPECT_EQ(whole.Crc, Crc(ref.Out));
}

TEST(InflateBounds, ExhaustedInputFailsInsteadOfRunningOn) {
  // A fixed block that never ends: after the last byte only padding would follow.
  TBitWriter w;
  w.Put(0, 1);
  w.Put(1, 2);
  w.PutCode(0x30 + 'y', 8);
  auto r = RunDecoder(w.Bytes);
  EXPECT_TRUE(r.Failed);
  EXPECT_TRUE(r.Writes.empty());
  // More bytes declared than the archive holds: the host's exception leaves.
  EXPECT_THROW(RunDecoder(w.Bytes, {.Packed = 100}), TPrematureEnd);
}

TEST(InflateBounds, ShortWriteFailsTheEntry) {
  auto data = Random(100, 3);
  TBitWriter w;
  PutStored(w, data, true);
  EXPECT_TRUE(RunDecoder(w.Bytes, {.ShortBy = 1}).Failed);
}

#ifdef QRVX_HAVE_ZLIB
std::vector<uint8_t> Deflate(const std::vector<uint8_t>& in, int level,
                             int strategy = Z_DEFAULT_STRATEGY) {
  z_stream z{};
  deflateInit2(&z, level, Z_DEFLATED, -15, 9, strategy);
  std::vector<uint8_t> out(deflateBound(&z, uLong(in.size())) + 16);
  z.next_in = const_cast<uint8_t*>(in.data());
  z.avail_in = uInt(in.size());
  z.next_out = out.data();
  z.avail_out = uInt(out.size());
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

TEST(InflateZlib, EveryLevelAndStrategy) {
  std::vector<std::vector<uint8_t>> inputs = {
      TextLike(300000, 1), Random(70000, 2), std::vector<uint8_t>(100000, 'z'), TextLike(1, 3), {}};
  inputs.push_back(TextLike(50000, 4));
  auto tail = Random(40000, 5);
  inputs.back().insert(inputs.back().end(), tail.begin(), tail.end());
  for (const auto& in : inputs)
    for (int level = 0; level <= 9; ++level)
      for (int strategy : {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED}) {
        if (strategy != Z_DEFAULT_STRATEGY && level != 6) continue;
        auto packed = Deflate(in, level, strategy);
        auto r = RunDecoder(packed, {.Unpacked = int64_t(in.size())});
        ASSERT_FALSE(r.Failed) << in.size() << " level " << level << " strategy " << strategy;
        ASSERT_EQ(r.Out, AsString(in));
        EXPECT_EQ(r.Crc, uint32_t(crc32(0, in.data(), uInt(in.size()))));
        for (size_t i = 0; i + 1 < r.Writes.size(); ++i) EXPECT_EQ(r.Writes[i], 16000);
        auto whole = RunDecoder(packed, {.Unpacked = int64_t(in.size()), .PlainSink = true});
        ASSERT_FALSE(whole.Failed);
        ASSERT_EQ(whole.Out, r.Out);
        EXPECT_EQ(whole.Crc, r.Crc);
        EXPECT_EQ(whole.Progress, r.Progress);
      }
}

TEST(InflateZlib, TrailingBytesAfterTheStreamAreIgnored) {
  auto in = TextLike(20000, 6);
  auto packed = Deflate(in, 9);
  packed.resize(packed.size() + 20000, 0xAA);
  auto r = RunDecoder(packed);
  EXPECT_FALSE(r.Failed);
  EXPECT_EQ(r.Out, AsString(in));
}

TEST(InflateZlib, EveryTruncationFails) {
  auto in = TextLike(5000, 7);
  auto packed = Deflate(in, 6);
  for (size_t n = 0; n < packed.size(); ++n) {
    std::vector<uint8_t> cut(packed.begin(), packed.begin() + n);
    auto r = RunDecoder(cut);
    EXPECT_TRUE(r.Failed) << n;
  }
}

// Damaged streams: the fast decoder and the reference agree on success, and on
// the bytes when both succeed; what reached the sink is a prefix of the
// reference output.
TEST(InflateZlib, DamagedStreamsAgreeWithTheReference) {
  std::mt19937 rng(11);
  std::vector<std::vector<uint8_t>> seeds = {
      Deflate(TextLike(60000, 8), 6), Deflate(TextLike(3000, 9), 1), Deflate(Random(3000, 10), 9),
      Deflate(TextLike(5000, 12), 6, Z_FIXED)};
  int agreeOk = 0;
  for (int round = 0; round < 1500; ++round) {
    auto s = seeds[size_t(round) % seeds.size()];
    int flips = 1 + int(rng() % 4);
    for (int i = 0; i < flips; ++i) s[rng() % s.size()] ^= uint8_t(1u << (rng() % 8));
    if (rng() % 4 == 0) s.resize(rng() % s.size());
    int64_t limit = rng() % 3 == 0 ? int64_t(rng() % 70000) : INT64_C(1) << 40;
    auto ref = reference::Inflate(s, limit);
    for (bool plain : {false, true}) {
      auto r = RunDecoder(s, {.Unpacked = limit, .PlainSink = plain});
      ASSERT_EQ(!r.Failed, ref.Ok) << "round " << round << " plain " << plain;
      if (ref.Ok) {
        agreeOk += !plain;
        ASSERT_EQ(r.Out, AsString(ref.Out));
      } else {
        ASSERT_LE(r.Out.size(), ref.Out.size());
        ASSERT_EQ(r.Out, AsString(ref.Out).substr(0, r.Out.size()));
      }
    }
  }
  EXPECT_GT(agreeOk, 0);
}
#endif

}  // namespace
