// Lists, buffered streams, message tables, name patterns, percentages and
// directory helpers of the ZIP component.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "common/Classes.h"
#include "support/Errors.h"
#include "tests/unzip/reference_wildcard.h"
#include "unzip/BufStream.h"
#include "unzip/Helpers.h"
#include "unzip/ObjList.h"
#include "unzip/StrRes.h"

namespace {

struct TNum : TPersistentItem {
  explicit TNum(int v = 0, int tag = 0) : V(v), Tag(tag) {}
  const char* ClassName() const override { return "TNum"; }
  void WriteData(TStream& s) const override { s.WriteBuffer(&V, 4), s.WriteBuffer(&Tag, 4); }
  void ReadData(TStream& s) override { s.ReadBuffer(&V, 4), s.ReadBuffer(&Tag, 4); }
  int V, Tag;
};

struct TNumList : TSortedObjectList {
  using TSortedObjectList::TSortedObjectList;
  int Compare(const TPersistentItem* a, const TPersistentItem* b) const override {
    return static_cast<const TNum*>(a)->V - static_cast<const TNum*>(b)->V;
  }
};

std::vector<int> Tags(const TObjectList& l) {
  std::vector<int> out;
  for (int i = 0; i < l.Count(); ++i) out.push_back(static_cast<TNum*>(l.Items(i))->Tag);
  return out;
}

TEST(ObjectList, HoldsAtMost65520Items) {
  TObjectList l;
  for (int i = 0; i < kMaxListSize; ++i) l.Add(new TNum(i));
  EXPECT_EQ(l.Count(), 65520);
  TNum* extra = new TNum;
  EXPECT_EQ(ErrorOf([&] { l.Add(extra); }), "List index out of bounds (65536)");
  delete extra;
  EXPECT_EQ(ErrorOf([&] { l.Items(65520); }), "List index out of bounds (65520)");
}

TEST(ObjectList, InsertNeighbourAndErrors) {
  TObjectList l;
  TNum *a = new TNum(1), *b = new TNum(2), *c = new TNum(3);
  l.Add(a), l.Add(c), l.Insert(1, b);
  EXPECT_EQ(l.IndexOf(b), 1);
  EXPECT_EQ(l.Neighbour(nullptr, 1), a);
  EXPECT_EQ(l.Neighbour(nullptr, 0), c);
  EXPECT_EQ(l.Neighbour(b, 0), a);
  EXPECT_EQ(l.Neighbour(c, 1), nullptr);
  TNum stranger;
  EXPECT_EQ(ErrorOf([&] { l.Neighbour(&stranger, 1); }), "tObject TNum not in item list");
  l.Clear();
  EXPECT_EQ(ErrorOf([&] { l.First(); }), "List index out of bounds (0)");
}

TEST(SortedObjectList, DuplicatePolicies) {
  TNumList accept(AcceptDup);
  for (int tag = 1; tag <= 3; ++tag) accept.Add(new TNum(5, tag));
  accept.Add(new TNum(1, 9));
  accept.Add(new TNum(7, 8));
  EXPECT_EQ(Tags(accept), (std::vector<int>{9, 3, 2, 1, 8}));  // equal ones: newest first

  TNumList ignore(IgnoreDup);
  ignore.Add(new TNum(5, 1));
  TNum* second = new TNum(5, 2);
  EXPECT_LT(ignore.Add(second), 0);
  EXPECT_EQ(ignore.Count(), 1);
  delete second;  // not taken over

  TNumList error(ErrorDup);
  error.Add(new TNum(5));
  TNum* dup = new TNum(5);
  EXPECT_EQ(ErrorOf([&] { error.Add(dup); }), "Duplicate Object index");
  delete dup;
  EXPECT_EQ(ErrorOf([&] { error.SetItems(0, nullptr); }),
            "Cannot <Put> an Object in a sorted list!");
  TNum key(5);
  EXPECT_EQ(error.IndexOf(&key), 0);
}

TEST(SortedObjectList, PersistsThroughTheRegistry) {
  RegisterItemClass("TNum", [] { return new TNum; });
  TNumList l(AcceptDup);
  l.Add(new TNum(4, 1)), l.Add(new TNum(2, 2));
  TMemoryStream s;
  l.WriteData(s);
  s.SetPosition(0);
  TNumList back(ErrorDup);
  back.ReadData(s);
  EXPECT_EQ(back.Duplicates, AcceptDup);
  EXPECT_EQ(Tags(back), (std::vector<int>{2, 1}));
  TObjectList empty;
  TMemoryStream e;
  empty.WriteData(e);
  EXPECT_EQ(e.GetSize(), 1);  // no "ObjectContainer" when empty
}

TEST(BufferStream, ReadsWritesAndSeeksLikeTheStreamBelow) {
  TMemoryStream mem;
  std::string data;
  for (int i = 0; i < 20000; ++i) data += static_cast<char>('a' + i % 26);
  mem.Assign(data.data(), data.size());
  TS_BufferStream b(&mem);
  char buf[10];
  ASSERT_EQ(b.Read(buf, 3), 3);
  EXPECT_EQ(std::string(buf, 3), "abc");
  EXPECT_EQ(b.GetPosition(), 3);
  EXPECT_EQ(b.Seek(10, soFromEnd), 19990);
  EXPECT_EQ(b.Seek(-10, soFromEnd), 19990);
  b.Seek(8190, soFromBeginning);
  ASSERT_EQ(b.Read(buf, 5), 5);  // across the refill
  EXPECT_EQ(std::string(buf, 5), data.substr(8190, 5));
  b.PutBack('Z');
  ASSERT_EQ(b.Read(buf, 2), 2);
  EXPECT_EQ(std::string(buf, 2), "Z" + data.substr(8195, 1));
  // Writing after reading starts at the logical position.
  EXPECT_EQ(b.Write("XYZ", 3), 3);
  EXPECT_EQ(b.GetPosition(), 8199);
  b.Seek(0, soFromBeginning);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(mem.Memory()) + 8196, 3), "XYZ");
  // Writing past the end grows the stream once flushed.
  b.Seek(0, soFromEnd);
  std::string tail(9000, 'q');
  EXPECT_EQ(b.Write(tail.data(), tail.size()), 9000);
  EXPECT_EQ(b.GetSize(), 29000);
  b.Flush();
  EXPECT_EQ(mem.GetSize(), 29000);
  EXPECT_EQ(b.Read(buf, 1), 0);
}

TEST(BufferStream, ErrorsUseTheStreamMessages) {
  TMemoryStream mem;
  TS_BufferStream b(&mem);
  EXPECT_EQ(ErrorOf([&] { b.Seek(0, 7); }), "Invalid seek origin (7)");
  EXPECT_EQ(ErrorOf([&] { b.PutBack('x'); }), "Putback overflow");
  EXPECT_EQ(TS_StringResource::GetMessage("s_stream", 7), "Cannot write to a resource stream");
  EXPECT_EQ(TS_StringResource::GetMessage("S_Stream", 42), "");
  EXPECT_EQ(ErrorOf([] { TS_StringResource::GetMessage("S_Nothing", 1); }),
            "No such string resource: S_Nothing");
}

TEST(WildcardMatch, Rules) {
  EXPECT_TRUE(WildcardMatch("*.TXT", "Read.me.txt"));
  EXPECT_FALSE(WildcardMatch("report[1].txt", "report[1].txt"));
  EXPECT_TRUE(WildcardMatch("report[1].txt", "report1.txt"));
  EXPECT_FALSE(WildcardMatch("[]a]", "]"));
  EXPECT_FALSE(WildcardMatch("[]a]", "a"));
  EXPECT_TRUE(WildcardMatch("a*", "a"));
  EXPECT_TRUE(WildcardMatch("*", ""));
  EXPECT_FALSE(WildcardMatch("**", ""));
  EXPECT_TRUE(WildcardMatch("?b*?", "abc"));
  EXPECT_FALSE(WildcardMatch("*??", "a"));
  EXPECT_TRUE(WildcardMatch("[!a-c]x", "dX"));
  EXPECT_TRUE(WildcardMatch("[^c-a]x", "dx"));
  EXPECT_FALSE(WildcardMatch("[a-c]x", "dx"));
  EXPECT_FALSE(WildcardMatch("[a-]", "a"));
  EXPECT_FALSE(WildcardMatch("[ab", "a"));
  EXPECT_TRUE(WildcardMatch("*[0-9].log", "run12.log"));
  EXPECT_TRUE(WildcardMatch("dir\\*.c", "DIR\\x.c"));  // backslash is ordinary
  EXPECT_FALSE(WildcardMatch("\xC0*", "\xE0x"));       // only ASCII letters fold
  EXPECT_FALSE(WildcardMatch("abc", "abcd"));
}

// The two-pointer matcher against the recursive one it replaced, over every
// short pattern and text a small alphabet of the special characters makes.
TEST(WildcardMatch, AgreesWithTheRecursiveMatcher) {
  const char kAlphabet[] = {'a', 'B', 'b', '*', '?', '[', ']', '!', '^', '-', '\xE0'};
  uint32_t seed = 12345;
  auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 8; };
  auto word = [&](size_t max) {
    std::string s(next() % (max + 1), 'a');
    for (char& c : s) c = kAlphabet[next() % sizeof kAlphabet];
    return s;
  };
  for (int i = 0; i < 300000; ++i) {
    std::string p = word(9), t = word(7);
    for (char& c : t)
      if (c == '*' || c == '?') c = 'a';  // texts of names, mostly letters
    ASSERT_EQ(WildcardMatch(p, t), reference_wildcard::Match(p, t)) << p << " / " << t;
  }
}

TEST(WildcardMatch, HostilePatternsStayLinearAndShallow) {
  // Backtracking over every star once cost minutes; recursion over 30,000
  // stars overflowed a 1 MiB stack.
  std::string stars;
  for (int i = 0; i < 12; ++i) stars += "*a";
  EXPECT_FALSE(WildcardMatch(stars + "*b", std::string(200, 'a')));
  std::string deep;
  for (int i = 0; i < 30000; ++i) deep += "*a";
  EXPECT_TRUE(WildcardMatch(deep, deep));
  EXPECT_TRUE(WildcardMatch(deep, std::string(30000, 'a')));
  EXPECT_FALSE(WildcardMatch(deep + "b", std::string(30000, 'a')));
  // The work limit: a match that needs more than it is allowed gives false
  // and says so.
  int64_t steps = 1000;
  EXPECT_FALSE(WildcardMatch(deep, deep, &steps));
  EXPECT_LT(steps, 0);
  steps = 1000;
  EXPECT_TRUE(WildcardMatch("*.txt", "read.me.txt", &steps));
  EXPECT_GT(steps, 900);
}

TEST(Percent, RoundsHalfToEvenAndCaps) {
  EXPECT_EQ(PercentOf(3, 1), 33);
  EXPECT_EQ(PercentOf(0, 5), 0);
  EXPECT_EQ(PercentOf(10, 25), 100);
  EXPECT_EQ(PercentOf(200, 1), 0);  // 0.5 -> 0
  EXPECT_EQ(PercentOf(200, 3), 2);  // 1.5 -> 2
  EXPECT_EQ(PercentOf(8, 7), 88);   // 87.5 -> 88
  EXPECT_EQ(TotalPercent(0, 0), 0);
  EXPECT_EQ(TotalPercent(1, 8), 12);  // 12.5 -> 12
  EXPECT_EQ(TotalPercent(int64_t(3) << 40, int64_t(4) << 40), 75);
  EXPECT_EQ(ErrorOf([] { TotalPercent(6, 5); }), "Total Done more than total");
}

TEST(Paths, ForceDirectoriesAndStrings) {
  // A fresh directory (mkdtemp is not in the Windows runtime).
  std::string base = (std::filesystem::temp_directory_path() /
                      ("qrvx_force_" + std::to_string(std::random_device{}())))
                         .string();
  ASSERT_TRUE(std::filesystem::create_directories(base));
  ForceDirectories(base + "\\a\\b\\c\\");
  EXPECT_TRUE(DirectoryExists(base + "/a/b/c"));
  EXPECT_FALSE(FileExists(base + "/a/b/c"));
  EXPECT_EQ(ErrorOf([] { ForceDirectories("\\"); }), "Unable to create directory");
  std::string s = "a/b/c";
  SlashesToBackslashes(s);
  EXPECT_EQ(s, "a\\b\\c");
  EXPECT_EQ(LeftStr("abc", 5), "abc");
  EXPECT_EQ(RightStr("abcdef", 2), "ef");
  std::system(("rm -rf " + base).c_str());
}

}  // namespace
