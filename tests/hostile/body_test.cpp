// Hostile bodies aimed at the receiver's memory: a base64 part made of line
// breaks, a body cut into 150,000 one-byte files, more parts than the
// receiver takes. Each runs on a 1 MiB stack; what is received is checked
// here, the time and peak memory by bench/hostile_body_bench.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "receiver/Acceptors.h"
#include "support/Automation.h"
#include "support/SmallStack.h"
#include "tests/hostile/HostileBodies.h"

namespace {

// Posts body as a byte array on a small stack.
void Post(TAcceptor& acc, const std::string& body) {
  Var arg;
  SetBytes(&arg, body);
  HRESULT hr = E_FAIL;
  RunOnSmallStack([&] { hr = acc.ProcessRequest(arg); });
  EXPECT_EQ(hr, S_OK);
}

TEST(HostileBody, Base64PartOfLineBreaksIsAnEmptyFile) {
  TAcceptor acc;
  Post(acc, hostile::Base64LineBreaks(20 << 20));
  ASSERT_EQ(acc.Files().size(), 1u);
  EXPECT_EQ(acc.Files()[0].FileName, "breaks.bin");
  EXPECT_EQ(acc.Files()[0].Data->GetSize(), 0);
}

TEST(HostileBody, OneHundredFiftyThousandOneByteFilesAreEachReceived) {
  const size_t kCount = 150000;
  const std::string body = hostile::OneByteFiles(kCount);
  ASSERT_GT(body.size(), size_t(16) << 20);
  TAcceptor acc;
  Post(acc, body);
  ASSERT_EQ(acc.Files().size(), kCount);
  for (size_t i = 0; i < kCount; i += 997) {
    const TFileInfo& f = acc.Files()[i];
    ASSERT_EQ(f.FileName, std::to_string(i) + ".bin");
    ASSERT_EQ(f.Data->GetSize(), 1);
    ASSERT_EQ(f.Data->Memory()[0], static_cast<uint8_t>(i % 251));
  }
  // The last one through the scripting members as well.
  VARIANT id;
  id.vt = VT_I4;
  id.lVal = static_cast<LONG>(kCount - 1);
  Var block;
  ASSERT_EQ(acc.FileRead(id, 0, 10, &block), S_OK);
  EXPECT_EQ(ArrayBytes(block), std::string(1, static_cast<char>((kCount - 1) % 251)));
}

// A body cut into more parts than the receiver takes: the parts up to the
// limit are received, the rest end the request as a failure would.
TEST(HostileBody, PartsPastTheLimitEndTheRequest) {
  const size_t kCount = 100000;
  const std::string body = hostile::TinyParts(kCount);
  const size_t limit = TAcceptor::kBaseParts + body.size() / TAcceptor::kBytesPerExtraPart;
  ASSERT_LT(limit, kCount);
  TAcceptor acc;
  Post(acc, body);
  EXPECT_EQ(acc.Vars().size(), limit);
  EXPECT_TRUE(acc.Files().empty());
  // Below the limit every part is taken.
  Post(acc, hostile::TinyParts(1000));
  EXPECT_EQ(acc.Vars().size(), 1000u);
}

}  // namespace
