#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "common/Classes.h"

// A view owns nothing: the first change copies, and shrinking a large view
// to a few bytes copies only those bytes.
TEST(MemoryStream, ViewTakesAPrivateCopyOnChange) {
  std::vector<uint8_t> big(100000);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 7);
  TMemoryStream s;
  s.SetPointer(big.data(), static_cast<int64_t>(big.size()));
  ASSERT_TRUE(s.IsView());

  s.SetSize(10);
  EXPECT_FALSE(s.IsView());
  ASSERT_EQ(s.GetSize(), 10);
  EXPECT_EQ(std::memcmp(s.Memory(), big.data(), 10), 0);

  s.Seek(0, soFromEnd);
  uint8_t more[3] = {1, 2, 3};
  s.Write(more, 3);
  ASSERT_EQ(s.GetSize(), 13);
  EXPECT_EQ(s.Memory()[12], 3);
  EXPECT_EQ(big[10], static_cast<uint8_t>(70));  // the viewed bytes are untouched
}

TEST(MemoryStream, GrowingAViewKeepsItsBytesAndZeroFills) {
  const char text[] = "abcdef";
  TMemoryStream s;
  s.SetPointer(text, 6);
  s.SetSize(20000);
  ASSERT_EQ(s.GetSize(), 20000);
  EXPECT_EQ(std::memcmp(s.Memory(), text, 6), 0);
  EXPECT_EQ(s.Memory()[19999], 0);
}

// Growing without clearing keeps what the stream held; bytes written there
// and cut off again never come back through a later growth.
TEST(MemoryStream, GrowUnfilledKeepsTheBytesAndLaterGrowthStillClears) {
  const char text[] = "abcdef";
  TMemoryStream s;
  s.SetPointer(text, 6);
  uint8_t* p = s.GrowUnfilled(40000);
  EXPECT_FALSE(s.IsView());
  ASSERT_EQ(s.GetSize(), 40000);
  EXPECT_EQ(std::memcmp(p, text, 6), 0);
  std::memset(p + 6, 0xAB, 40000 - 6);
  s.SetSize(10);
  s.SetSize(30000);
  EXPECT_EQ(s.Memory()[9], 0xAB);
  EXPECT_EQ(s.Memory()[10], 0);
  EXPECT_EQ(s.Memory()[29999], 0);
  EXPECT_EQ(s.GrowUnfilled(5), s.Memory());  // not smaller
  EXPECT_EQ(s.GetSize(), 30000);
}

// A buffer done growing gives back its growth block and keeps working; a
// view and an emptied buffer are left sound.
TEST(MemoryStream, ShrinkToFitKeepsTheBytesAndTheStreamUsable) {
  TMemoryStream s;
  s.Write("x", 1);
  EXPECT_GT(s.Capacity(), 1);
  s.ShrinkToFit();
  EXPECT_EQ(s.Capacity(), 1);
  ASSERT_EQ(s.GetSize(), 1);
  EXPECT_EQ(s.Memory()[0], 'x');
  s.Write("yz", 2);
  ASSERT_EQ(s.GetSize(), 3);
  EXPECT_EQ(std::memcmp(s.Memory(), "xyz", 3), 0);

  s.SetSize(0);
  s.ShrinkToFit();
  EXPECT_EQ(s.Capacity(), 0);
  EXPECT_FALSE(s.IsView());
  s.Seek(0, soFromBeginning);
  s.Write("q", 1);
  EXPECT_EQ(s.Memory()[0], 'q');

  const char text[] = "view";
  TMemoryStream v;
  v.SetPointer(text, 4);
  v.ShrinkToFit();
  EXPECT_TRUE(v.IsView());
  EXPECT_EQ(v.Memory(), reinterpret_cast<const uint8_t*>(text));
}
