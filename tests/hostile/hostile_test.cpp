// Hostile uploads with archive intake on: each posted body is made here, run
// through ProcessRequest on a thread with a 1 MiB stack (the Windows default;
// server threads often have less), and what was received is compared with
// what must be. Their time and memory are measured by bench/hostile_bench.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "receiver/Acceptors.h"
#include "support/Automation.h"
#include "support/SmallStack.h"
#include "tests/hostile/HostileArchives.h"
#include "unzip/UnZip.h"

namespace {

struct Received {
  std::vector<std::string> Names, Data, Vars;
};

// Posts the archive with ProcessZIP on; gives the files and variables.
Received Post(const std::string& archive) {
  auto acc = std::make_unique<TAcceptor>();
  acc->put_ProcessZIP(VARIANT_TRUE);
  {
    Var body;
    SetBytes(&body, hostile::Body(archive));
    HRESULT hr = E_FAIL;
    RunOnSmallStack([&] { hr = acc->ProcessRequest(body); });
    EXPECT_EQ(hr, S_OK);
  }
  Received r;
  for (const TFileInfo& f : acc->Files()) {
    r.Names.push_back(f.FileName);
    r.Data.push_back(std::string(reinterpret_cast<const char*>(f.Data->Memory()),
                                 static_cast<size_t>(f.Data->GetSize())));
  }
  for (const TVarInfo& v : acc->Vars()) r.Vars.push_back(v.Name + "=" + v.Value);
  return r;
}

const std::vector<std::string> kAfter = {"after=seen"};

}  // namespace

TEST(HostileArchive, NamesThatBacktrackAreMatchedInLinearTime) {
  Received r = Post(hostile::BacktrackingNames());
  std::string stars;
  for (int i = 0; i < 12; ++i) stars += "*a";
  ASSERT_EQ(r.Names, (std::vector<std::string>{"upload.zip", stars + "*b", std::string(200, 'a')}));
  EXPECT_EQ(r.Data[1], "stars\r\n");
  EXPECT_EQ(r.Data[2], "letters\r\n");
  EXPECT_EQ(r.Vars, kAfter);
}

TEST(HostileArchive, ANameOfThirtyThousandStarsNeedsNoDeepStack) {
  Received r = Post(hostile::DeepStarName());
  ASSERT_EQ(r.Names.size(), 2u);
  EXPECT_EQ(r.Names[1].size(), 60000u);
  EXPECT_EQ(r.Data[1], std::string(60000, 'x'));
  EXPECT_EQ(r.Vars, kAfter);
}

TEST(HostileArchive, ThirtyThousandWildcardNamesEachSelectOnlyThemselves) {
  Received r = Post(hostile::ManyWildcardNames(30000));
  ASSERT_EQ(r.Names.size(), 30001u);
  EXPECT_EQ(r.Names[1], "?00000");
  EXPECT_EQ(r.Data[1], "?00000");
  EXPECT_EQ(r.Names[30000], "?29999");
  EXPECT_EQ(r.Data[30000], "?29999");
  EXPECT_EQ(r.Vars, kAfter);
}

TEST(HostileArchive, NamesThatSelectEveryEntryReceiveNothing) {
  // 13,000 entries named "*": each name selects them all, so none is
  // received; each look-up ends at its second match.
  Received r = Post(hostile::ManyStarNames(13000));
  EXPECT_EQ(r.Names, std::vector<std::string>{"upload.zip"});
  EXPECT_EQ(r.Vars, kAfter);
}

TEST(HostileArchive, NamesThatTakeTooLongToMatchStopTheRequest) {
  // Every name "*NNNN*z" has every entry as a candidate and selects only
  // itself, so each look-up walks them all: the matching allowance runs out
  // part-way, intake stops as at a damaged archive, and what was received
  // before stays.
  constexpr int kCount = 6000;
  std::vector<hostile::TEntry> entries;
  char name[16];
  for (int i = 0; i < kCount; ++i) {
    std::snprintf(name, sizeof name, "*%04d*z", i);
    entries.push_back(hostile::Stored(name, name));
  }
  Received r = Post(hostile::Zip(entries));
  ASSERT_GT(r.Names.size(), 2u);
  EXPECT_LT(r.Names.size(), size_t(kCount) + 1);
  for (size_t i = 1; i < r.Names.size(); ++i) {
    std::snprintf(name, sizeof name, "*%04d*z", int(i - 1));
    ASSERT_EQ(r.Names[i], name);
    ASSERT_EQ(r.Data[i], name);
  }
  EXPECT_TRUE(r.Vars.empty());
}

TEST(HostileArchive, UnpackingPastTheAllowanceStopsTheRequest) {
  // Each entry unpacks to 100 MB, more than 100 times the archive plus 1 MiB:
  // intake stops at the first as at a damaged archive, so the field after the
  // archive is not received either.
  const std::string zip = hostile::ZeroBombs(8);
  ASSERT_LT(zip.size(), 900u * 1024);
  Received r = Post(zip);
  EXPECT_EQ(r.Names, std::vector<std::string>{"upload.zip"});
  EXPECT_TRUE(r.Vars.empty());
}

TEST(HostileArchive, EntriesWithinTheAllowanceAreReceived) {
  // 10 MB of zeros in an archive padded to 110 KB: the allowance (100 times
  // plus 1 MiB) holds it.
  std::vector<hostile::TEntry> entries;
  hostile::TEntry e;
  e.Name = "zeros.txt";
  e.Method = 8;
  const uint32_t runs = 40000, bytes = 1 + 258 * runs;
  e.Data = hostile::DeflatedZeros(runs);
  e.Crc = hostile::CrcOfZeros(bytes);
  e.Packed = static_cast<uint32_t>(e.Data.size());
  e.Unpacked = bytes;
  entries.push_back(e);
  entries.push_back(hostile::Stored("padding.bin", std::string(100000, 'p')));
  Received r = Post(hostile::Zip(entries));
  ASSERT_EQ(r.Names, (std::vector<std::string>{"upload.zip", "zeros.txt", "padding.bin"}));
  EXPECT_EQ(r.Data[1], std::string(bytes, '\0'));
  EXPECT_EQ(r.Vars, kAfter);
}

TEST(HostileArchive, ANameTwoEntriesShareReceivesNeitherAndNoBytesMix) {
  Received r = Post(hostile::SameNameOneBad());
  EXPECT_EQ(r.Names, std::vector<std::string>{"upload.zip"});
  EXPECT_EQ(r.Vars, kAfter);
}

TEST(HostileArchive, EntriesOverlappingAnExtractedOneAreRefused) {
  const std::string zip = hostile::OverlappingEntries(2000, 1 << 20);
  Received r = Post(zip);
  ASSERT_EQ(r.Names, (std::vector<std::string>{"upload.zip", "e0000.bin"}));
  EXPECT_EQ(r.Data[1].size(), 39u * 1999 + (1 << 20));
  EXPECT_EQ(r.Vars, kAfter);
}

// ---- the component under the receiver -------------------------------------

namespace {

std::unique_ptr<TUnZip> Open(const std::string& zip) {
  auto u = std::make_unique<TUnZip>();
  auto* m = new TMemoryStream;
  m->Assign(zip.data(), static_cast<int64_t>(zip.size()));
  u->SetArchiveStream(m);
  u->ReadDirectory();
  return u;
}

int Single(TUnZip& u, const std::string& pattern) {
  int64_t work = 1 << 20;
  return u.SingleSelection(pattern, &work);
}

}  // namespace

TEST(SingleSelection, CountsAsARunWouldSelect) {
  auto u = Open(hostile::Zip({hostile::Stored("a.txt", "1"), hostile::Stored("dir/A.TXT", "2"),
                              hostile::Stored("b1.txt", "3"), hostile::Stored("[1].txt", "4"),
                              hostile::Stored("1.txt", "5"), hostile::Stored("c.log", "6")}));
  EXPECT_EQ(Single(*u, "a.txt"), -2);  // a bare name in two folders
  EXPECT_EQ(Single(*u, "c.log"), 5);
  EXPECT_EQ(Single(*u, "none"), -1);
  EXPECT_EQ(Single(*u, "b?.txt"), 2);
  EXPECT_EQ(Single(*u, "*.log"), 5);
  EXPECT_EQ(Single(*u, "*.txt"), -2);
  EXPECT_EQ(Single(*u, "[1].txt"), 4);  // a set: selects 1.txt, not itself
  EXPECT_EQ(Single(*u, "?.TXT"), -2);
  EXPECT_EQ(Single(*u, "dir\\*"), 1);  // a backslash: matched with the folder
  EXPECT_EQ(Single(*u, "[z-"), -1);    // invalid: selects nothing
  int64_t work = 3;
  EXPECT_EQ(u->SingleSelection("*.???", &work), -3);
  EXPECT_EQ(Single(*u, ""), -1);
}

TEST(SingleSelection, AgreesWithTheEntriesARunExtracts) {
  std::vector<hostile::TEntry> entries;
  const char* names[] = {"ab", "ba", "abc", "a?c", "x[ab]", "xa", "xb", "*", "aa*", "q"};
  for (const char* n : names) entries.push_back(hostile::Stored(n, n));
  auto u = Open(hostile::Zip(entries));
  const char* patterns[] = {"a*", "*a", "?b",    "x[ab]", "x?", "*",  "aa*", "a?c",
                            "q*", "*c", "[!a]*", "?",     "??", "b*", "*[",  "a*c"};
  for (const char* p : patterns) {
    TMemoryStream out;
    int n = u->ExtractToStream(&out, p);
    int single = Single(*u, p);
    EXPECT_EQ(single >= 0, n == 1) << p;
    if (single >= 0) {
      std::string got(reinterpret_cast<const char*>(out.Memory()), size_t(out.GetSize()));
      EXPECT_EQ(got, names[single]) << p;
    }
  }
}

TEST(HostileArchive, FoldersAndNamesThatSelectOtherEntriesAreNotReceived) {
  // Folders have empty names; "[1].txt" selects 1.txt, not itself; "*.txt"
  // selects several.
  std::vector<hostile::TEntry> entries;
  for (int i = 0; i < 3000; ++i)
    entries.push_back(hostile::Stored("d" + std::to_string(i) + "/", ""));
  entries.push_back(hostile::Stored("[1].txt", "bracket"));
  entries.push_back(hostile::Stored("1.txt", "one"));
  entries.push_back(hostile::Stored("*.txt", "star"));
  Received r = Post(hostile::Zip(entries));
  ASSERT_EQ(r.Names, (std::vector<std::string>{"upload.zip", "1.txt"}));
  EXPECT_EQ(r.Data[1], "one");
  EXPECT_EQ(r.Vars, kAfter);
}

TEST(ExtractIndex, ExtractsOneEntryAloneAndChecksIt) {
  hostile::TEntry bad = hostile::Stored("same.txt", "bad");
  bad.Crc ^= 1;
  auto u = Open(hostile::Zip({hostile::Stored("same.txt", "good"), bad}));
  TMemoryStream a, b;
  EXPECT_EQ(u->ExtractIndexToStream(&a, 0), 1);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(a.Memory()), size_t(a.GetSize())), "good");
  EXPECT_EQ(u->ExtractIndexToStream(&b, 1), 0);
  // The same entry may be extracted again; the pattern still selects both.
  TMemoryStream c;
  EXPECT_EQ(u->ExtractIndexToStream(&c, 0), 1);
  EXPECT_EQ(u->ExtractToStream(&c, "same.txt"), 1);
}

TEST(ArchiveStructure, ALocalHeaderWithoutItsSignatureIsRefused) {
  std::string zip =
      hostile::Zip({hostile::Stored("a.txt", "alpha"), hostile::Stored("b.txt", "beta")});
  zip[0] = 'Q';  // the first local header
  auto u = Open(zip);
  TMemoryStream out;
  EXPECT_EQ(u->ExtractToStream(&out, "a.txt"), 0);
  EXPECT_EQ(out.GetSize(), 0);
  EXPECT_EQ(u->ExtractToStream(&out, "b.txt"), 1);
}

TEST(ArchiveStructure, DataCountedOnceWhateverTheOrderOfExtraction) {
  auto u = Open(hostile::OverlappingEntries(4, 1000));
  TMemoryStream out;
  // The last entry's data lies inside every other entry's: whichever is
  // extracted first keeps its bytes, the others are refused.
  EXPECT_EQ(u->ExtractIndexToStream(&out, 3), 1);
  EXPECT_EQ(u->ExtractIndexToStream(&out, 0), 0);
  EXPECT_EQ(u->ExtractIndexToStream(&out, 2), 0);
  EXPECT_EQ(u->ExtractIndexToStream(&out, 3), 1);
  EXPECT_EQ(u->ExtractToStream(&out, "*.bin"), 1);
  auto v = Open(hostile::OverlappingEntries(4, 1000));
  EXPECT_EQ(v->ExtractToStream(&out, "*.bin"), 1);  // the first, in archive order
}
