// Shrunk, reduced and imploded entries: real archives from old tools checked
// against their CRCs and plaintexts, and the decoders' edge cases written
// bit by bit.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>

#include "decoder_harness.h"
#include "unzip/Explode.h"

namespace {

std::vector<uint8_t> ReadFile(const std::string& name) {
  std::ifstream f(std::string(QRVX_TEST_DATA_DIR) + "/unzip/legacy/" + name, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

uint32_t Le(const std::vector<uint8_t>& d, size_t at, int n) {
  uint32_t v = 0;
  for (int i = n; i-- > 0;) v = v << 8 | d[at + size_t(i)];
  return v;
}

struct TLocalEntry {
  std::string Name;
  int Method;
  uint16_t Flags;
  uint32_t Crc;
  std::vector<uint8_t> Packed;
  uint32_t Unpacked;
};

// The local headers of an archive without data descriptors (APPNOTE 4.3.7).
std::vector<TLocalEntry> LocalEntries(const std::vector<uint8_t>& zip) {
  std::vector<TLocalEntry> out;
  size_t at = 0;
  while (at + 30 <= zip.size() && Le(zip, at, 4) == 0x04034b50) {
    TLocalEntry e;
    e.Flags = uint16_t(Le(zip, at + 6, 2));
    e.Method = int(Le(zip, at + 8, 2));
    e.Crc = Le(zip, at + 14, 4);
    uint32_t packed = Le(zip, at + 18, 4);
    e.Unpacked = Le(zip, at + 22, 4);
    size_t nameLen = Le(zip, at + 26, 2), extraLen = Le(zip, at + 28, 2);
    e.Name.assign(zip.begin() + long(at + 30), zip.begin() + long(at + 30 + nameLen));
    size_t data = at + 30 + nameLen + extraLen;
    e.Packed.assign(zip.begin() + long(data), zip.begin() + long(data + packed));
    out.push_back(e);
    at = data + packed;
  }
  return out;
}

TDecodeRun Decode(const TLocalEntry& e) {
  return RunDecoder(e.Packed, {.Method = e.Method, .Flags = e.Flags, .Unpacked = e.Unpacked});
}

std::string Text(const std::vector<uint8_t>& v) {
  return std::string(v.begin(), v.end());
}

struct TArchiveCase {
  const char* File;
  int Entries;  // entries of a legacy method
};

class LegacyArchives : public testing::TestWithParam<TArchiveCase> {};

TEST_P(LegacyArchives, EveryEntryExtractsWithItsCrcAndBytes) {
  std::string file = GetParam().File;
  auto entries = LocalEntries(ReadFile(file));
  int decoded = 0;
  for (const auto& e : entries) {
    if (e.Method < 1 || e.Method > 6) continue;
    ++decoded;
    auto r = Decode(e);
    EXPECT_FALSE(r.Failed) << file << " " << e.Name;
    EXPECT_EQ(r.Crc, e.Crc) << file << " " << e.Name;
    EXPECT_EQ(r.Out.size(), e.Unpacked) << file << " " << e.Name;
    std::string expected;
    if (file.rfind("Zip.", 0) == 0) {
      expected = Text(ReadFile(e.Name.find("EXE") != std::string::npos   ? "test.exe"
                               : e.Name.find("JPG") != std::string::npos ? "test.jpg"
                                                                         : "test-cp866-name.txt"));
    } else if (file.rfind("zip2-", 0) == 0) {
      expected = Text(ReadFile("zip2-first.txt"));
    }
    if (!expected.empty()) {
      EXPECT_TRUE(r.Out == expected) << file << " " << e.Name;
    }
  }
  EXPECT_EQ(decoded, GetParam().Entries) << file;
}

INSTANTIATE_TEST_SUITE_P(
    Corpus, LegacyArchives,
    testing::Values(TArchiveCase{"SHRUNK.ZIP", 2}, TArchiveCase{"imploding-4Kdict-2trees.zip", 1},
                    TArchiveCase{"imploding-8Kdict-3trees.zip", 1},
                    TArchiveCase{"lorem-ipsum-implode.zip", 1}, TArchiveCase{"Zip.shrink.zip", 2},
                    TArchiveCase{"Zip.reduce1.zip", 3}, TArchiveCase{"Zip.reduce2.zip", 3},
                    TArchiveCase{"Zip.reduce3.zip", 3}, TArchiveCase{"Zip.reduce4.zip", 3},
                    TArchiveCase{"Zip.implode.zip", 2}, TArchiveCase{"zip2-shrink.zip", 1},
                    TArchiveCase{"zip2-reduce.zip", 1}, TArchiveCase{"zip2-implode.zip", 1}));

}  // namespace

namespace {

TDecodeRun Shrunk(const TBitWriter& w, int64_t unpacked = -1) {
  return RunDecoder(w.Bytes, {.Method = 1, .Unpacked = unpacked});
}

TEST(Unshrink, DataEndingInsideACodeStopsBeforeIt) {
  TBitWriter w;
  for (char c : {'A', 'B', 'C'}) w.Put(uint8_t(c), 9);
  auto whole = Shrunk(w);
  EXPECT_FALSE(whole.Failed);
  EXPECT_EQ(whole.Out, "ABC");
  w.Bytes.pop_back();  // 24 of 27 bits: 'C' is cut
  auto cut = Shrunk(w);
  EXPECT_FALSE(cut.Failed);
  EXPECT_EQ(cut.Out, "AB");
  EXPECT_EQ(cut.Crc, ~UpdateCrc32(0xFFFFFFFFu, reinterpret_cast<const uint8_t*>("AB"), 2));
  EXPECT_TRUE(Shrunk(TBitWriter{}).Out.empty());
}

TEST(Unshrink, UndefinedCodeWideningAndPartialClear) {
  TBitWriter w;
  w.Put('A', 9);
  w.Put(257, 9);  // not yet defined: "A" + its first byte
  w.Put(256, 9);
  w.Put(1, 9);     // 10-bit codes from here
  w.Put(257, 10);  // "AA"
  w.Put(258, 10);  // "AAA" (defined as 257 + 'A')
  w.Put('B', 10);
  w.Put(256, 10);
  w.Put(2, 10);    // partial clear: 257 and 258 have children, 259 and 260 do not
  w.Put(260, 10);  // freed, so taken as the previous string "B" + "B"
  w.Put(259, 10);  // refilled by the code just read: "B" + "B"
  auto r = Shrunk(w);
  EXPECT_FALSE(r.Failed);
  EXPECT_EQ(r.Out,
            "A"
            "AA"
            "AA"
            "AAA"
            "B"
            "BB"
            "BB");
}

TEST(Unshrink, CodeWidthStopsAt13Bits) {
  TBitWriter w;
  w.Put('x', 9);
  unsigned bits = 9;
  for (int i = 0; i < 6; ++i) {
    w.Put(256, bits);
    w.Put(1, bits);
    if (bits < 13) ++bits;
  }
  w.Put('y', 13);
  auto r = Shrunk(w);
  EXPECT_FALSE(r.Failed);
  EXPECT_EQ(r.Out, "xy");
}

TEST(Unshrink, EndlessPrefixWalkFailsInsteadOfOverflowingTheStack) {
  TBitWriter w;
  w.Put(300, 9);  // a free code first: output as a byte, and it stays free
  w.Put(300, 9);  // its walk meets free codes only
  auto r = Shrunk(w);
  EXPECT_TRUE(r.Failed);
  EXPECT_TRUE(r.Writes.empty());
}

TEST(Unshrink, OutputBeyondTheDeclaredSizeFails) {
  TBitWriter w;
  w.Put('A', 9);
  for (unsigned c = 257; c < 511; ++c) w.Put(c, 9);  // each one byte longer
  auto full = Shrunk(w);
  ASSERT_FALSE(full.Failed);
  EXPECT_EQ(full.Out, std::string(full.Out.size(), 'A'));
  EXPECT_TRUE(Shrunk(w, int64_t(full.Out.size()) - 1).Failed);
}

// Reduced streams: follower sets (previous byte 255 down to 0), then bytes.
struct TReduced {
  TBitWriter W;
  explicit TReduced(uint8_t followerOfZero = 0) {
    for (int c = 255; c >= 0; --c) {
      bool one = c == 0 && followerOfZero;
      W.Put(one ? 1 : 0, 6);
      if (one) W.Put(followerOfZero, 8);
    }
  }
  TDecodeRun Run(int factor, int64_t unpacked, uint8_t windowFill = 0) {
    return RunDecoder(W.Bytes,
                      {.Method = factor + 1, .Unpacked = unpacked, .WindowFill = windowFill});
  }
};

TEST(Unreduce, MarkerThenZeroIsTheByte144) {
  TReduced r;
  r.W.Put(144, 8);
  r.W.Put(0, 8);
  auto out = r.Run(1, 1);
  EXPECT_FALSE(out.Failed);
  EXPECT_EQ(out.Out, "\x90");
}

TEST(Unreduce, CopiesFromBeforeTheFirstByteGiveZeros) {
  for (int factor = 1; factor <= 4; ++factor) {
    TReduced r;
    r.W.Put('A', 8);
    r.W.Put(144, 8);
    r.W.Put(1, 8);  // length 1 + 3, distance high bits 0
    r.W.Put(9, 8);  // distance 10
    auto out = r.Run(factor, 5, 0xEE);
    EXPECT_FALSE(out.Failed) << factor;
    EXPECT_EQ(out.Out, std::string("A\0\0\0\0", 5)) << factor;
  }
}

TEST(Unreduce, FollowerSetsLongLengthsAndTheLastCopyCut) {
  // Previous byte 0 (the start) has one follower, 'Z': flag 0, 1-bit index.
  TReduced r('Z');
  r.W.Put(0, 1);
  r.W.Put(0, 1);
  // Factor 4: V = 0x0F is the length mask, so a length byte follows.
  for (uint8_t b : {uint8_t(144), uint8_t(0x0F), uint8_t(2), uint8_t(0)}) r.W.Put(b, 8);
  auto out = r.Run(4, 1 + 15 + 2 + 3);
  EXPECT_FALSE(out.Failed);
  EXPECT_EQ(out.Out, std::string(21, 'Z'));
  auto cut = r.Run(4, 10);  // the copy would pass the declared size
  EXPECT_FALSE(cut.Failed);
  EXPECT_EQ(cut.Out, std::string(10, 'Z'));
  auto more = r.Run(4, 30);  // the bytes run out first
  EXPECT_TRUE(more.Failed);
  EXPECT_TRUE(more.Writes.empty());
  EXPECT_TRUE(r.Run(4, 0).Writes.empty());
}

// Imploded streams: stored trees of equal code lengths, codes complemented.
struct TImploded {
  TBitWriter W;
  static void Tree(TBitWriter& w, unsigned symbols, unsigned len) {
    w.PutByte(uint8_t(symbols / 16 - 1));
    for (unsigned i = 0; i < symbols / 16; ++i) w.PutByte(uint8_t(0xF0 | (len - 1)));
  }
  TImploded(bool literalTree) {
    if (literalTree) Tree(W, 256, 8);
    Tree(W, 64, 6);
    Tree(W, 64, 6);
    W.AlignByte();
  }
  void Code(unsigned symbol, unsigned len) { W.PutCode(~symbol & ((1u << len) - 1), len); }
};

TEST(Explode, TwoTreesWithRawLiteralsAndACopy) {
  for (uint16_t flags : {0, 2}) {  // 4 KB and 8 KB dictionaries
    TImploded s(false);
    for (char c : {'A', 'B'}) {
      s.W.Put(1, 1);
      s.W.Put(uint8_t(c), 8);
    }
    s.W.Put(0, 1);
    s.W.Put(1, flags ? 7 : 6);  // low distance bits: distance 1 + 1
    s.Code(0, 6);               // distance symbol 0
    s.Code(0, 6);               // length symbol 0: 2
    auto r = RunDecoder(s.W.Bytes, {.Method = 6, .Flags = flags, .Unpacked = 4});
    EXPECT_FALSE(r.Failed) << flags;
    EXPECT_EQ(r.Out, "ABAB") << flags;
  }
}

TEST(Explode, ThreeTreesLongLengthAndCopiesBeforeTheStart) {
  TImploded s(true);
  s.W.Put(1, 1);
  s.Code('Q', 8);
  s.W.Put(0, 1);
  s.W.Put(0, 6);
  s.Code(0, 6);   // distance 1
  s.Code(63, 6);  // length 63 + 3 + 8 more bits
  s.W.Put(10, 8);
  s.W.Put(0, 1);
  s.W.Put(63, 6);
  s.Code(63, 6);  // distance 63 * 64 + 1 + 63 = 4096: before the first byte
  s.Code(1, 6);   // length 4
  auto r =
      RunDecoder(s.W.Bytes, {.Method = 6, .Flags = 4, .Unpacked = 1 + 76 + 4, .WindowFill = 0xEE});
  EXPECT_FALSE(r.Failed);
  EXPECT_EQ(r.Out, std::string(77, 'Q') + std::string(4, '\0'));
}

TEST(Explode, BadTreesAndExhaustedInputFail) {
  TBitWriter shortTree;
  TImploded::Tree(shortTree, 48, 6);  // 48 lengths where 64 are due
  TImploded::Tree(shortTree, 64, 6);
  TImploded::Tree(shortTree, 64, 6);
  EXPECT_TRUE(RunDecoder(shortTree.Bytes, {.Method = 6, .Unpacked = 1}).Failed);
  TBitWriter incomplete;
  TImploded::Tree(incomplete, 64, 7);  // 64 codes of 7 bits leave half the space
  TImploded::Tree(incomplete, 64, 6);
  EXPECT_TRUE(RunDecoder(incomplete.Bytes, {.Method = 6, .Unpacked = 1}).Failed);
  TImploded s(false);
  s.W.Put(1, 1);
  s.W.Put('A', 8);
  auto r = RunDecoder(s.W.Bytes, {.Method = 6, .Unpacked = 1000000});
  EXPECT_TRUE(r.Failed);
  EXPECT_TRUE(r.Writes.empty());
}

TEST(Explode, DistanceLookupWidensAbove200000CompressedBytes) {
  EXPECT_EQ(ExplodeDistanceBits(200000), 7u);
  EXPECT_EQ(ExplodeDistanceBits(200001), 8u);
  // Decoding does not depend on it: the same stream padded past the threshold.
  TImploded s(false);
  s.W.Put(1, 1);
  s.W.Put('A', 8);
  s.W.Put(0, 1);
  s.W.Put(0, 6);
  s.Code(0, 6);
  s.Code(5, 6);
  auto bytes = s.W.Bytes;
  bytes.resize(200001);
  auto r = RunDecoder(bytes, {.Method = 6, .Unpacked = 8});
  EXPECT_FALSE(r.Failed);
  EXPECT_EQ(r.Out, "AAAAAAAA");
}

}  // namespace

namespace {

// Damaged copies of real entries: whatever the bytes, each decoder ends (no
// hang), stays inside its memory (checked by the sanitizer builds) and never
// hands on more than the declared size; an intact CRC is rare and a failed
// entry leaves no more than it had flushed.
TEST(LegacyDamage, DamagedEntriesEndWithinTheirDeclaredSize) {
  std::vector<TLocalEntry> seeds;
  for (const char* f : {"SHRUNK.ZIP", "zip2-reduce.zip", "zip2-implode.zip",
                        "imploding-4Kdict-2trees.zip", "zip2-shrink.zip"})
    for (auto& e : LocalEntries(ReadFile(f)))
      if (e.Method >= 1 && e.Method <= 6) seeds.push_back(e);
  ASSERT_EQ(seeds.size(), 6u);
  std::mt19937 rng(5);
  int intact = 0;
  for (int round = 0; round < 1200; ++round) {
    TLocalEntry e = seeds[size_t(round) % seeds.size()];
    for (int i = 1 + int(rng() % 3); i > 0; --i)
      e.Packed[rng() % e.Packed.size()] ^= uint8_t(1u << (rng() % 8));
    if (rng() % 3 == 0) e.Packed.resize(rng() % e.Packed.size());
    if (rng() % 4 == 0) e.Unpacked = rng() % (2 * e.Unpacked + 1);
    auto r = Decode(e);
    ASSERT_LE(r.Out.size(), e.Unpacked) << round;
    if (!r.Failed && r.Crc == e.Crc) ++intact;
  }
  EXPECT_LT(intact, 1200 / 4);
}

}  // namespace
