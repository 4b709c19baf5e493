// Every error path of the receiver, the decoders and the table reader, run
// once: a representative request, archive extraction and table walk is run
// with its Nth allocation failing, for N = 1, 2, ... until a run completes
// without reaching a failure. Each run must end in a clean error or the empty
// result (never a crash, never data that differs from a run without failures
// presented as success), leak nothing (LeakSanitizer, in the sanitizer build)
// and leave the object usable: a run without failures on the same object
// gives the full result.
//
// The seam: this program replaces operator new, and its link wraps malloc,
// calloc and realloc (-Wl,--wrap), so every allocation of the product's
// libraries linked into it, and of the C++ runtime on their behalf, passes
// through FailHere. Only one allocation fails per run; the ones after it
// succeed, as when memory runs short for a moment.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "dbf/DBF.h"
#include "receiver/Acceptors.h"
#include "receiver/SafeCall.h"
#include "support/Automation.h"
#include "support/Multipart.h"
#include "support/ReplacedAllocator.h"
#include "unzip/UnZip.h"

extern "C" void* __real_malloc(size_t n);
extern "C" void* __real_calloc(size_t n, size_t size);
extern "C" void* __real_realloc(void* p, size_t n);

namespace {

// Allocations left until the one that fails (0: none); they are counted only
// while the code under test runs (g_armed), not the test's own. g_failed: the
// failure has been delivered.
long g_left = 0;
bool g_armed = false;
bool g_failed = false;

bool FailHere() {
  if (!g_armed || g_left == 0 || --g_left != 0) return false;
  g_failed = true;
  return true;
}

}  // namespace

extern "C" void* __wrap_malloc(size_t n) {
  return FailHere() ? nullptr : __real_malloc(n);
}
extern "C" void* __wrap_calloc(size_t n, size_t size) {
  return FailHere() ? nullptr : __real_calloc(n, size);
}
extern "C" void* __wrap_realloc(void* p, size_t n) {
  return FailHere() ? nullptr : __real_realloc(p, n);
}

// The program's operator new and delete (support/ReplacedAllocator.h) fail
// where FailHere says, over the real malloc.
bool FailAllocation(std::size_t) {
  return FailHere();
}
void* AllocateBytes(std::size_t n) {
  return __real_malloc(n);
}

namespace {

// More allocations than any of the runs below makes: a loop that reaches it
// means a run never completes.
constexpr long kMaxRuns = 200000;

// Calls the code under test: its allocations count.
template <class Call>
auto Armed(Call call) {
  struct TScope {
    TScope() { g_armed = true; }
    ~TScope() { g_armed = false; }
  } scope;
  return call();
}

// Runs op with the nth allocation of what it calls Armed failing; false when
// op completed before reaching it (nothing failed).
template <class Op>
bool RunFailing(long n, Op op) {
  g_failed = false;
  g_left = n;
  op();
  g_left = 0;
  return g_failed;
}

// For n = 1, 2, ... runs op with its nth allocation failing, then check(n),
// until a run completes; gives the number of runs that met a failure.
template <class Op, class Check>
long ForEachFailure(Op op, Check check) {
  long n = 1;
  for (; n < kMaxRuns && RunFailing(n, op); ++n) {
    check(n);
    if (::testing::Test::HasFatalFailure()) break;
  }
  EXPECT_LT(n, kMaxRuns) << "a run never completed";
  std::printf("%ld runs met a failure\n", n - 1);
  return n - 1;
}

// Marks of an entry or walk that did not complete, where the items are bytes.
const std::string kFailed =
    "\x01"
    "failed";
const std::string kError =
    "\x01"
    "error: ";

// a keeps only items of b, in b's order.
template <class T>
bool IsSubsequence(const std::vector<T>& a, const std::vector<T>& b) {
  size_t j = 0;
  for (const T& x : a) {
    while (j < b.size() && !(b[j] == x)) ++j;
    if (j == b.size()) return false;
    ++j;
  }
  return true;
}

// ---- the receiver ----------------------------------------------------------

std::string Base64(const std::string& s) {
  static const char* abc = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  size_t i = 0;
  for (; i + 2 < s.size(); i += 3) {
    uint32_t v =
        uint32_t(uint8_t(s[i])) << 16 | uint32_t(uint8_t(s[i + 1])) << 8 | uint8_t(s[i + 2]);
    for (int k = 18; k >= 0; k -= 6) out += abc[(v >> k) & 63];
    if (out.size() % 78 == 76) out += "\r\n";
  }
  if (i < s.size()) {
    uint32_t v = uint32_t(uint8_t(s[i])) << 16;
    if (i + 1 < s.size()) v |= uint32_t(uint8_t(s[i + 1])) << 8;
    out += abc[(v >> 18) & 63];
    out += abc[(v >> 12) & 63];
    out += i + 1 < s.size() ? abc[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

std::string EncodedPart(const std::string& field, const std::string& file,
                        const std::string& encoding, const std::string& data) {
  return "--B\r\nContent-Disposition: form-data; name=\"" + field + "\"; filename=\"" + file +
         "\"\r\nContent-Transfer-Encoding: " + encoding + "\r\n\r\n" + data + "\r\n";
}

// The test archive posted under name: one of each method.
std::string ArchiveOf(const std::string& name) {
  if (name == "deflate.zip") return "unzip/go-test.zip";
  return "unzip/legacy/zip2-" + name;
}

// A body with something for every stage of intake: fields, a file as
// posted, a base64 and a quoted-printable file, archives of each method
// (one holding a table), and a table.
std::string RepresentativeBody() {
  std::string table = DbfTable({{"NAME", 'C', 8, 0}, {"AGE", 'N', 3, 0}, {"OK", 'L', 1, 0}},
                               {" Ann      31T", "*Bob      40F", " Cid       7?"});
  std::string body = FieldPart("name", "Tea") + FieldPart("comment", "two\r\nlines") +
                     FilePart("plain", "C:\\dir\\plain.txt", "plain bytes") +
                     EncodedPart("b64", "coded.bin", "base64", Base64(std::string(300, '\xC3'))) +
                     EncodedPart("qp", "q.txt", "quoted-printable", "caf=E9 =\r\nsoft break=3D");
  for (const char* zip : {"shrink.zip", "reduce.zip", "implode.zip", "deflate.zip"})
    body += FilePart("zip", zip, ReadWholeFile(DataPath(ArchiveOf(zip))));
  body += FilePart("table", "people.dbf", table);
  return body + kBodyEnd;
}

// What a script can read from the object, item by item (an item: a member's
// answer as text, "" for the empty result).
struct TItem {
  std::string What, Text;
  bool Failed = false;  // the member answered an error HRESULT
  bool operator==(const TItem& o) const {
    return What == o.What && Text == o.Text && Failed == o.Failed;
  }
};

std::string Text(HRESULT hr, BSTR b) {
  return SUCCEEDED(hr) ? TakeAnsi(b) : (SysFreeString(b), std::string());
}

std::string VariantText(const VARIANT& v) {
  if (v.vt == (VT_ARRAY | VT_UI1)) return "bytes:" + ArrayBytes(v);
  if (v.vt == VT_EMPTY || (v.vt == VT_I4 && v.lVal == 0)) return "";
  Var t;
  if (FAILED(VariantChangeType(&t, const_cast<VARIANT*>(&v), 0, VT_BSTR))) return "<?>";
  return std::to_string(v.vt) + ":" +
         TakeAnsi(SysAllocStringLen(t.bstrVal, SysStringLen(t.bstrVal)));
}

// The members that answer an item's text, with the item's label.
using TTextMember = decltype(&TAcceptor::VarName);
struct TTextRead {
  const char* What;
  TTextMember Member;
};
constexpr TTextRead kVarTexts[] = {{"var name", &TAcceptor::VarName},
                                   {"var value", &TAcceptor::VarValue}};
constexpr TTextRead kFileTexts[] = {{"file name", &TAcceptor::FileName},
                                    {"file path", &TAcceptor::FilePath},
                                    {"file field", &TAcceptor::FileVarName}};
constexpr TTextRead kTableTexts[] = {{"table name", &TAcceptor::DBFName}};

std::vector<TItem> ReadAll(TAcceptor& acc) {
  std::vector<TItem> items;
  auto add = [&](std::string what, HRESULT hr, std::string text) {
    items.push_back(
        TItem{std::move(what), FAILED(hr) ? std::string() : std::move(text), FAILED(hr)});
  };
  auto addTexts = [&](const VARIANT& id, const auto& reads) {
    for (const TTextRead& r : reads) {
      BSTR b = nullptr;
      HRESULT hr = Armed([&] { return (acc.*r.Member)(id, &b); });
      add(r.What, hr, Text(hr, b));
    }
  };
  LONG vars = 0, files = 0, tables = 0;
  acc.VarCount(&vars);
  acc.FileCount(&files);
  acc.DBFCount(&tables);
  // Names padded past what a string holds without memory of its own, so
  // that resolving them allocates.
  const std::string pad(20, ' ');
  for (LONG i = 0; i < vars; ++i) {
    Var id;
    SetI4(&id, i);
    addTexts(id, kVarTexts);
    Var name;
    SetText(&name, acc.Vars()[static_cast<size_t>(i)].Name + pad);
    BSTR b = nullptr;
    HRESULT hr = Armed([&] { return acc.VarValue(name, &b); });
    add("var value by name", hr, Text(hr, b));
  }
  for (LONG i = 0; i < files; ++i) {
    Var id;
    SetI4(&id, i);
    addTexts(id, kFileTexts);
    Var bytes;
    HRESULT hr = Armed([&] { return acc.FileRead(id, 0, 1 << 20, &bytes); });
    add("file bytes", hr, VariantText(bytes));
    BSTR b = nullptr;
    hr = Armed([&] { return acc.FileReadText(id, 1, 5, &b); });
    add("file text", hr, Text(hr, b));
    hr = Armed([&] { return acc.FileReadText(id, 0, 64, &b); });
    add("file text, 64 bytes", hr, Text(hr, b));
    Var name;
    SetText(&name, pad + acc.Files()[static_cast<size_t>(i)].FileName + pad);
    LONG size = 0;
    hr = Armed([&] { return acc.FileSize(name, &size); });
    add("file size by name", hr, size ? std::to_string(size) : std::string());
  }
  for (LONG i = 0; i < tables; ++i) {
    Var id;
    SetI4(&id, i);
    addTexts(id, kTableTexts);
    LONG cols = 0, rows = 0;
    Armed([&] { return acc.DBFColCount(id, &cols); });
    Armed([&] { return acc.DBFRowCount(id, &rows); });
    for (LONG r = 0; r < rows; ++r) {
      Armed([&] { return acc.put_DBFRow(id, r); });
      for (LONG c = 0; c < cols; ++c) {
        Var col, cell;
        SetI4(&col, c);
        HRESULT hr = Armed([&] { return acc.DBF(id, col, &cell); });
        add("cell", hr, VariantText(cell));
      }
    }
    Var name;
    SetText(&name, "age");
    BSTR b = nullptr;
    HRESULT hr = Armed([&] { return acc.DBFColName(id, name, &b); });
    add("column name", hr, Text(hr, b));
    Var padded;
    SetText(&padded, "AGE" + pad);
    hr = Armed([&] { return acc.DBFColName(id, padded, &b); });
    add("column name, padded", hr, Text(hr, b));
  }
  return items;
}

// What was received, by record: the intake under a failure must keep only
// records that a complete intake gives, exactly as it gives them.
std::vector<std::string> Records(const TAcceptor& acc) {
  std::vector<std::string> records;
  for (const TVarInfo& v : acc.Vars()) records.push_back("var " + v.Name + "=" + v.Value);
  for (const TFileInfo& f : acc.Files()) {
    const char* p = reinterpret_cast<const char*>(f.Data->Memory());
    records.push_back("file " + f.VarName + ":" + f.FilePath + f.FileName + "=" +
                      std::string(p, p ? static_cast<size_t>(f.Data->GetSize()) : 0));
  }
  for (const TDBFInfo& t : acc.DBFs()) {
    std::string rows;
    for (int32_t r : t.RecNos) rows += std::to_string(r) + ",";
    records.push_back("table " + t.VarName + ":" + t.Name + " rows " + rows);
  }
  return records;
}

void Post(TAcceptor& acc, const std::string& body, HRESULT* hr) {
  Var v;
  SetBytes(&v, body);
  *hr = Armed([&] { return acc.ProcessRequest(v); });
}

TEST(AllocationFailure, RequestKeepsOnlyWhatItReceivedWhole) {
  const std::string body = RepresentativeBody();
  TAcceptor acc;
  acc.put_ProcessZIP(VARIANT_TRUE);
  acc.put_ProcessDBF(VARIANT_TRUE);
  HRESULT hr = E_FAIL;
  Post(acc, body, &hr);
  ASSERT_EQ(hr, S_OK);
  const std::vector<std::string> whole = Records(acc);
  const std::vector<TItem> read = ReadAll(acc);
  ASSERT_GE(acc.Files().size(), 10u);  // every archive gave entries
  ASSERT_EQ(acc.DBFs().size(), 1u);
  ASSERT_EQ(acc.DBFs()[0].RecNos.size(), 2u);

  long runs = ForEachFailure([&] { Post(acc, body, &hr); },
                             [&](long n) {
                               EXPECT_EQ(hr, S_OK) << "allocation " << n;
                               EXPECT_TRUE(IsSubsequence(Records(acc), whole))
                                   << "allocation " << n;
                               // The same object takes the next request whole.
                               Post(acc, body, &hr);
                               EXPECT_EQ(Records(acc), whole) << "allocation " << n;
                             });
  EXPECT_GT(runs, 100);
}

TEST(AllocationFailure, MembersAnswerTheValueTheEmptyResultOrAnError) {
  TAcceptor acc;
  acc.put_ProcessZIP(VARIANT_TRUE);
  acc.put_ProcessDBF(VARIANT_TRUE);
  HRESULT hr = E_FAIL;
  Post(acc, RepresentativeBody(), &hr);
  ASSERT_EQ(hr, S_OK);
  const std::vector<TItem> whole = ReadAll(acc);
  std::vector<TItem> read;
  ForEachFailure([&] { read = ReadAll(acc); },
                 [&](long n) {
                   ASSERT_EQ(read.size(), whole.size()) << "allocation " << n;
                   for (size_t i = 0; i < read.size(); ++i)
                     if (!read[i].Failed && !read[i].Text.empty()) {
                       EXPECT_EQ(read[i].Text, whole[i].Text)
                           << whole[i].What << " " << i << ", allocation " << n;
                     }
                   // A failed read changes nothing the next one sees.
                   EXPECT_EQ(ReadAll(acc), whole) << "allocation " << n;
                 });
}

// ---- the archive decoders ------------------------------------------------------

// Every entry of an archive extracted by itself into memory: its bytes when
// it came out with a correct checksum, kFailed otherwise, kError and the message
// when the extraction raised.
std::vector<std::string> ExtractEach(TUnZip& zip) {
  std::vector<std::string> out;
  try {
    Armed([&] { zip.ReadDirectory(); });
    for (int i = 0; i < zip.EntryCount(); ++i) {
      TMemoryStream m;
      try {
        if (Armed([&] { return zip.ExtractToStream(&m, zip.EntryName(i)); }) != 1) {
          out.push_back(kFailed);
          continue;
        }
      } catch (const std::exception& e) {
        out.push_back(kError + e.what());
        continue;
      }
      const char* p = reinterpret_cast<const char*>(m.Memory());
      out.push_back(std::string(p, p ? static_cast<size_t>(m.GetSize()) : 0));
    }
  } catch (const std::exception& e) {
    out.push_back(kError + e.what());
  }
  return out;
}

TEST(AllocationFailure, ArchiveExtractionFailsCleanlyAndStaysUsable) {
  // A run restores the current directory as it ends, whatever happened: from
  // a directory whose name needs memory to convert, that must not fail.
  const std::filesystem::path cwd = std::filesystem::current_path();
  std::filesystem::current_path(QRVX_TEST_DATA_DIR);
  struct TRestore {
    std::filesystem::path Dir;
    ~TRestore() { std::filesystem::current_path(Dir); }
  } restore{cwd};
  for (const char* name :
       {"unzip/legacy/zip2-shrink.zip", "unzip/legacy/zip2-reduce.zip",
        "unzip/legacy/zip2-implode.zip", "unzip/legacy/imploding-4Kdict-2trees.zip",
        "unzip/go-test.zip", "unzip/zipcrypto.zip"}) {
    SCOPED_TRACE(name);
    const std::string bytes = ReadWholeFile(DataPath(name));
    TMemoryStream archive;
    archive.Assign(bytes.data(), static_cast<int64_t>(bytes.size()));
    TUnZip zip;
    zip.Password = "test";
    zip.IncompleteZipMode = izAssumeBad;
    auto extract = [&] {
      archive.SetPosition(0);
      zip.SetArchiveStream(&archive);
      std::vector<std::string> got = ExtractEach(zip);
      zip.SetArchiveStream(nullptr);
      return got;
    };
    const std::vector<std::string> whole = extract();
    ASSERT_FALSE(whole.empty());
    for (const std::string& e : whole) ASSERT_TRUE(e.empty() || e[0] != '\x01') << e;
    std::vector<std::string> got;
    ForEachFailure([&] { got = extract(); },
                   [&](long n) {
                     // Entries the failure reached raise or fail their
                     // check; the others come out whole.
                     for (size_t i = 0; i < got.size() && i < whole.size(); ++i)
                       if (got[i].empty() || got[i][0] != '\x01') {
                         EXPECT_EQ(got[i], whole[i]) << "allocation " << n;
                       }
                     EXPECT_EQ(extract(), whole) << "allocation " << n;
                   });
  }
}

// ---- the table reader ----------------------------------------------------------

// A walk over every record, with every field's value as text; kError and the
// message end it when the table raised.
std::vector<std::string> Walk(TDBF& t) {
  std::vector<std::string> rows;
  try {
    Armed([&] {
      t.Open();
      t.First();
    });
    while (!t.Eof()) {
      std::string row = std::to_string(t.RecNo());
      for (int i = 0; i < t.Fields().Count(); ++i) {
        const TField& f = *t.Fields()[i];
        TDBFValue v = Armed([&] { return f.Value(); });
        row += "|" + (v.vt == varString ? v.Str : Armed([&] { return f.AsString(); }));
      }
      rows.push_back(row);
      Armed([&] { t.Next(); });
    }
  } catch (const std::exception& e) {
    rows.push_back(kError + e.what());
  }
  try {
    Armed([&] { t.Close(); });
  } catch (const std::exception&) {
  }
  return rows;
}

TEST(AllocationFailure, TableWalkFailsCleanlyAndStaysUsable) {
  struct TCase {
    const char *Table, *Memo, *Filter;
  };
  for (const TCase& c :
       {TCase{"dbf/dbase_8b.dbf", "dbf/dbase_8b.dbt", ""},
        TCase{"dbf/memotest.dbf", "dbf/memotest.FPT", ""}, TCase{"dbf/cp1251.dbf", nullptr, ""},
        TCase{"dbf/dbase_8b.dbf", "dbf/dbase_8b.dbt", "CHARACTER>'S'"}}) {
    SCOPED_TRACE(c.Table);
    const std::string table = ReadWholeFile(DataPath(c.Table));
    const std::string memo = c.Memo ? ReadWholeFile(DataPath(c.Memo)) : std::string();
    TMemoryStream data, memoData;
    data.Assign(table.data(), static_cast<int64_t>(table.size()));
    memoData.Assign(memo.data(), static_cast<int64_t>(memo.size()));
    TDBF t;
    t.AssignStreams(&data, c.Memo ? &memoData : nullptr, true);
    t.SetReadOnly(true);
    if (*c.Filter) {
      t.SetFilter(c.Filter);
      t.SetFiltered(true);
    }
    const std::vector<std::string> whole = Walk(t);
    ASSERT_GE(whole.size(), 2u);
    ASSERT_EQ(whole.back().find(kError), std::string::npos) << whole.back();
    std::vector<std::string> got;
    ForEachFailure([&] { got = Walk(t); },
                   [&](long n) {
                     // Either the table raised, or the walk is the whole walk.
                     if (got.empty() || got.back().find(kError) != 0)
                       EXPECT_EQ(got, whole) << "allocation " << n;
                     else
                       EXPECT_TRUE(std::equal(got.begin(), got.end() - 1, whole.begin()))
                           << "allocation " << n;
                     EXPECT_EQ(Walk(t), whole) << "allocation " << n;
                   });
  }
}

// ---- the automation error --------------------------------------------------

// The error object of a member that raised, built while memory runs short:
// the member fails with E_UNEXPECTED whatever happens, and the thread's error
// information is either complete (the whole description) or absent, never a
// half-built object, and never the error object an earlier call left.
TEST(AllocationFailure, AutomationErrorIsWholeOrAbsent) {
  const std::string text(8192, 'x');
  const std::runtime_error raised(text);
  const std::runtime_error earlier("an earlier call's error");
  ForEachFailure(
      [&] {
        EXPECT_EQ(HandleSafeCallException(&earlier), E_UNEXPECTED);
        EXPECT_EQ(Armed([&] { return HandleSafeCallException(&raised); }), E_UNEXPECTED);
      },
      [&](long) {
        IErrorInfo* info = nullptr;
        if (GetErrorInfo(0, &info) != S_OK || !info) return;
        BSTR description = nullptr;
        EXPECT_EQ(info->GetDescription(&description), S_OK);
        EXPECT_EQ(TakeAnsi(description), text);
        info->Release();
      });
  IErrorInfo* info = nullptr;
  ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
  ASSERT_NE(info, nullptr);
  info->Release();
}

}  // namespace
