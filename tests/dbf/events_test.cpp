// The dataset events a table raises while it moves, edits and cancels, and
// its error events, whose answer fails, aborts or retries the operation.
#include <gtest/gtest.h>

#include "DbfTestUtil.h"
#include "common/Classes.h"

namespace {

// A table in memory whose next writes fail with a database error.
class TFailingStream : public TMemoryStream {
 public:
  int FailWrites = 0;
  int32_t Write(const void* buffer, int32_t count) override {
    if (FailWrites > 0) {
      --FailWrites;
      throw EDatabaseError("the medium refused");
    }
    return TMemoryStream::Write(buffer, count);
  }
};

const std::vector<Column> kCols = {{"NAME", 'C', 4}, {"QTY", 'N', 3}};

struct TEventTable {
  TEventTable() {
    std::string bytes = MakeTable(kCols, {" abc  1", " def  2", " ghi  3"});
    data.Assign(bytes.data(), int64_t(bytes.size()));
    t.AssignStreams(&data, nullptr, true);
  }
  std::function<void(TDBF&)> Note(const char* what) {
    return [this, what](TDBF&) { log += what; };
  }
  TFailingStream data;
  TDBF t;
  std::string log;
};

}  // namespace

TEST(DbfEvents, ScrollEditCancelAndCalculatedFields) {
  TEventTable e;
  TDBF& t = e.t;
  t.BeforeScroll = e.Note("<s ");
  t.AfterScroll = e.Note("s> ");
  t.BeforeEdit = e.Note("<e ");
  t.AfterEdit = e.Note("e> ");
  t.BeforeCancel = e.Note("<c ");
  t.AfterCancel = e.Note("c> ");
  int calc = 0;
  t.OnCalcFields = [&](TDBF& d) {
    ++calc;
    EXPECT_FALSE(d.FieldByName("NAME")->AsString().empty());
  };
  t.Open();
  EXPECT_EQ(e.log, "s> ");  // resting on the first record
  EXPECT_GT(calc, 0);
  e.log.clear();
  t.Next();
  t.Last();
  t.Prior();
  t.First();
  EXPECT_EQ(e.log, "<s s> <s s> <s s> <s s> ");
  e.log.clear();
  t.Edit();
  t.FieldByName("NAME")->SetAsString("xyz");
  EXPECT_TRUE(t.Modified());
  t.Cancel();
  EXPECT_EQ(e.log, "<e e> <c c> ");
  EXPECT_EQ(t.FieldByName("NAME")->AsString(), "abc");
  EXPECT_EQ(t.State(), dsBrowse);
  // Cancelling or posting outside an edit does nothing and raises nothing.
  e.log.clear();
  t.Cancel();
  t.Post();
  EXPECT_EQ(e.log, "");
  t.Close();
}

TEST(DbfEvents, ErrorEventsRetryAbortOrFail) {
  TEventTable e;
  TDBF& t = e.t;
  t.Open();
  std::vector<std::string> seen;
  TDataAction answer = daRetry;
  t.OnPostError = [&](TDBF&, EDatabaseError& err, TDataAction& action) {
    seen.push_back(err.Message);
    action = answer;
  };
  // Retry: the write is tried again and succeeds.
  t.Edit();
  t.FieldByName("QTY")->SetAsFloat(7);
  e.data.FailWrites = 2;
  t.Post();
  EXPECT_EQ(seen, (std::vector<std::string>{"the medium refused", "the medium refused"}));
  EXPECT_EQ(t.State(), dsBrowse);
  t.SetRecNo(1);
  EXPECT_EQ(t.FieldByName("QTY")->AsFloat(), 7);
  // Abort: a silent exception; the edit stays open.
  answer = daAbort;
  t.Edit();
  e.data.FailWrites = 1;
  EXPECT_THROW(t.Post(), EAbort);
  EXPECT_EQ(t.State(), dsEdit);
  t.Cancel();
  // Fail (also without a handler): the error itself.
  answer = daFail;
  t.Edit();
  e.data.FailWrites = 1;
  EXPECT_THROW(t.Post(), EDatabaseError);
  t.Cancel();
  t.OnPostError = nullptr;
  t.Edit();
  e.data.FailWrites = 1;
  EXPECT_THROW(t.Post(), EDatabaseError);
  t.Cancel();

  // Deleting: a failed write leaves the record live.
  int deleteErrors = 0;
  t.OnDeleteError = [&](TDBF&, EDatabaseError&, TDataAction& action) {
    action = ++deleteErrors == 1 ? daFail : daRetry;
  };
  t.SetRecNo(2);
  e.data.FailWrites = 1;
  EXPECT_THROW(t.Delete(), EDatabaseError);
  e.data.FailWrites = 0;
  t.First();
  std::vector<int> live;
  for (t.First(); !t.Eof(); t.Next()) live.push_back(t.RecNo());
  EXPECT_EQ(live, (std::vector<int>{1, 2, 3}));
  t.SetRecNo(2);
  e.data.FailWrites = 1;
  t.Delete();
  EXPECT_EQ(deleteErrors, 2);
  live.clear();
  for (t.First(); !t.Eof(); t.Next()) live.push_back(t.RecNo());
  EXPECT_EQ(live, (std::vector<int>{1, 3}));
  t.Close();
}
