// ProcessRequest and the scripting members, driven as a script drives them.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "receiver/Acceptors.h"
#include "support/Automation.h"

namespace {

class Receiver : public ::testing::Test {
 protected:
  void Post(std::string_view body) {
    Var v;
    SetBytes(&v, body);
    ASSERT_EQ(acc.ProcessRequest(v), S_OK);
  }
  LONG Count(HRESULT (TAcceptor::*m)(LONG*)) {
    LONG n = -99;
    EXPECT_EQ((acc.*m)(&n), S_OK);
    return n;
  }
  template <class Id>
  std::string Text(HRESULT (TAcceptor::*m)(VARIANT, BSTR*), Id id) {
    Var v;
    SetId(&v, id);
    BSTR b = reinterpret_cast<BSTR>(1);
    EXPECT_EQ((acc.*m)(v, &b), S_OK);
    return TakeAnsi(b);
  }
  static void SetId(VARIANT* v, int i) { SetI4(v, i); }
  static void SetId(VARIANT* v, const char* s) { SetText(v, s); }

  TAcceptor acc;
};

std::string Field(const std::string& name, const std::string& value) {
  return "--B\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value + "\r\n";
}

std::string File(const std::string& field, const std::string& file, const std::string& data) {
  return "--B\r\nContent-Disposition: form-data; name=\"" + field + "\"; filename=\"" + file +
         "\"\r\nContent-Type: application/octet-stream\r\n\r\n" + data + "\r\n";
}

const std::string kEnd = "--B--\r\n";

}  // namespace

TEST_F(Receiver, StartsEmptyWithSwitchesOff) {
  EXPECT_EQ(Count(&TAcceptor::VarCount), 0);
  EXPECT_EQ(Count(&TAcceptor::FileCount), 0);
  EXPECT_EQ(Count(&TAcceptor::DBFCount), 0);
  VARIANT_BOOL b = 1;
  acc.get_ProcessZIP(&b);
  EXPECT_EQ(b, VARIANT_FALSE);
  acc.get_ProcessDBF(&b);
  EXPECT_EQ(b, VARIANT_FALSE);
  EXPECT_EQ(Text(&TAcceptor::VarName, 0), "");
  BSTR v;
  ASSERT_EQ(acc.Version(&v), S_OK);
  EXPECT_EQ(TakeAnsi(v), "v2.0");
}

TEST_F(Receiver, SwitchesReadBackAsAutomationBooleans) {
  acc.put_ProcessZIP(1);
  acc.put_ProcessDBF(VARIANT_TRUE);
  VARIANT_BOOL z = 0, d = 0;
  acc.get_ProcessZIP(&z);
  acc.get_ProcessDBF(&d);
  EXPECT_EQ(z, VARIANT_TRUE);
  EXPECT_EQ(d, VARIANT_TRUE);
  acc.put_ProcessZIP(0);
  acc.get_ProcessZIP(&z);
  EXPECT_EQ(z, VARIANT_FALSE);
}

TEST_F(Receiver, VariablesKeepEveryByteAndFoldTheirNames) {
  Post(Field("UserName", "Ann") + Field("memo", std::string("a\r\nb\0c", 6)) +
       Field("UserName", "second") + kEnd);
  ASSERT_EQ(Count(&TAcceptor::VarCount), 3);
  EXPECT_EQ(Text(&TAcceptor::VarName, 0), "username");
  EXPECT_EQ(Text(&TAcceptor::VarValue, "USERNAME"), "Ann");
  EXPECT_EQ(Text(&TAcceptor::VarValue, " memo\t"), std::string("a\r\nb\0c", 6));
  EXPECT_EQ(Text(&TAcceptor::VarValue, 2), "second");
  EXPECT_EQ(Text(&TAcceptor::VarName, 3), "");
  EXPECT_EQ(Text(&TAcceptor::VarName, -1), "");
  EXPECT_EQ(Text(&TAcceptor::VarValue, "nobody"), "");
}

TEST_F(Receiver, NumbersAreIndexesAndTextIsAName) {
  Post(Field("1", "named one") + Field("x", "index one") + kEnd);
  EXPECT_EQ(Text(&TAcceptor::VarValue, 1), "index one");
  EXPECT_EQ(Text(&TAcceptor::VarValue, "1"), "named one");
  Var r, u, neg, big;
  r.vt = VT_R8;
  r.dblVal = 0.5;  // rounds to even: 0
  BSTR b;
  ASSERT_EQ(acc.VarValue(r, &b), S_OK);
  EXPECT_EQ(TakeAnsi(b), "named one");
  u.vt = VT_UI1;
  u.bVal = 1;
  ASSERT_EQ(acc.VarValue(u, &b), S_OK);
  EXPECT_EQ(TakeAnsi(b), "index one");
  big.vt = VT_R8;
  big.dblVal = 1e12;
  ASSERT_EQ(acc.VarValue(big, &b), S_OK);
  EXPECT_EQ(TakeAnsi(b), "");
  // Not one of the five index types: text "1".
  Var i8;
  i8.vt = VT_I8;
  i8.llVal = 1;
  ASSERT_EQ(acc.VarValue(i8, &b), S_OK);
  EXPECT_EQ(TakeAnsi(b), "named one");
  // An identifier that cannot become text selects nothing.
  Var null;
  null.vt = VT_NULL;
  ASSERT_EQ(acc.VarValue(null, &b), S_OK);
  EXPECT_EQ(TakeAnsi(b), "");
}

TEST_F(Receiver, CyrillicNamesMatchInEitherCase) {
  // "Имя" in code page 1251, posted in capitals.
  Post(Field("\xC8\xCC\xDF", "v") + kEnd);
  EXPECT_EQ(Text(&TAcceptor::VarName, 0), "\xE8\xEC\xFF");
  EXPECT_EQ(Text(&TAcceptor::VarValue, "\xE8\xEC\xFF"), "v");
  EXPECT_EQ(Text(&TAcceptor::VarValue, "\xC8\xCC\xDF"), "v");
}

TEST_F(Receiver, FilesSplitTheirPostedNameAtBackslashAndColon) {
  Post(File("Upload", "C:\\Docs\\Report.TXT", "0123456789") + File("f2", "dir/a.txt", "x") +
       File("f3", "c:name.bin", "") + kEnd);
  ASSERT_EQ(Count(&TAcceptor::FileCount), 3);
  EXPECT_EQ(Text(&TAcceptor::FileName, 0), "report.txt");
  EXPECT_EQ(Text(&TAcceptor::FilePath, 0), "c:\\docs\\");
  EXPECT_EQ(Text(&TAcceptor::FileVarName, 0), "upload");
  EXPECT_EQ(Text(&TAcceptor::FileName, 1), "dir/a.txt");
  EXPECT_EQ(Text(&TAcceptor::FilePath, 1), "");
  EXPECT_EQ(Text(&TAcceptor::FileName, 2), "name.bin");
  EXPECT_EQ(Text(&TAcceptor::FilePath, 2), "c:");
  // Files are found by bare file name, never by their field's name.
  EXPECT_EQ(Text(&TAcceptor::FileName, "REPORT.txt"), "report.txt");
  EXPECT_EQ(Text(&TAcceptor::FileName, "upload"), "");
  Var id;
  SetText(&id, "upload");
  LONG size = -1;
  ASSERT_EQ(acc.FileSize(id, &size), S_OK);
  EXPECT_EQ(size, 0);
  VariantClear(&id);
  SetI4(&id, 0);
  ASSERT_EQ(acc.FileSize(id, &size), S_OK);
  EXPECT_EQ(size, 10);
}

TEST_F(Receiver, EmptyFileNameMakesAVariable) {
  Post(File("attach", "", "") + kEnd);
  EXPECT_EQ(Count(&TAcceptor::FileCount), 0);
  ASSERT_EQ(Count(&TAcceptor::VarCount), 1);
  EXPECT_EQ(Text(&TAcceptor::VarName, 0), "attach");
}

TEST_F(Receiver, NamesAreCutAt1000BytesOrTheClosingQuote) {
  std::string longName(1200, 'n');
  Post("--B\r\nContent-Disposition: form-data; name=\"" + longName + "\"\r\n\r\nv\r\n" +
       "--B\r\nContent-Disposition: form-data; name=\"open\r\n\r\nw\r\n" + kEnd);
  ASSERT_EQ(Count(&TAcceptor::VarCount), 2);
  EXPECT_EQ(Text(&TAcceptor::VarName, 0), std::string(1000, 'n'));
  EXPECT_EQ(Text(&TAcceptor::VarName, 1), "open");
}

TEST_F(Receiver, EmptyBodiesRecordNothingAndASecondPostReplacesTheFirst) {
  Post(Field("a", "1") + kEnd);
  ASSERT_EQ(Count(&TAcceptor::VarCount), 1);
  Post(" \r\n\t ");
  EXPECT_EQ(Count(&TAcceptor::VarCount), 0);
  Post(Field("a", "1") + kEnd);
  Post("");
  EXPECT_EQ(Count(&TAcceptor::VarCount), 0);
  Post(Field("b", "2") + kEnd);
  Var s;
  SetText(&s, "");
  ASSERT_EQ(acc.ProcessRequest(s), S_OK);
  EXPECT_EQ(Count(&TAcceptor::VarCount), 0);
  Post("\r\n" + Field("c", "3") + kEnd);
  EXPECT_EQ(Count(&TAcceptor::VarCount), 0);
}

TEST_F(Receiver, StringBodiesArriveThroughTheAnsiCodePage) {
  Var s;
  SetText(&s, Field("t", "plain text") + File("f", "n.txt", "abc") + kEnd);
  ASSERT_EQ(acc.ProcessRequest(s), S_OK);
  EXPECT_EQ(Text(&TAcceptor::VarValue, "t"), "plain text");
  EXPECT_EQ(Count(&TAcceptor::FileCount), 1);
  // A number is converted to text too: one line, no parts.
  Var n;
  SetI4(&n, 5);
  ASSERT_EQ(acc.ProcessRequest(n), S_OK);
  EXPECT_EQ(Count(&TAcceptor::VarCount), 0);
  // A by-reference byte array is a byte array.
  Var arr;
  SetBytes(&arr, Field("r", "ref") + kEnd);
  Var ref;
  ref.vt = VT_BYREF | VT_ARRAY | VT_UI1;
  ref.pparray = &arr.parray;
  ASSERT_EQ(acc.ProcessRequest(ref), S_OK);
  EXPECT_EQ(Text(&TAcceptor::VarValue, "r"), "ref");
  ref.vt = VT_EMPTY;
}

class ReceivedFile : public Receiver {
 protected:
  void SetUp() override { Post(File("f", "ten.bin", "0123456789") + kEnd); }
  // FileRead(0, pos, size): "<empty>" for an empty VARIANT, else the bytes.
  std::string Read(LONG pos, LONG size) {
    Var id, out;
    SetI4(&id, 0);
    EXPECT_EQ(acc.FileRead(id, pos, size, &out), S_OK);
    if (out.vt == VT_EMPTY) return "<empty>";
    EXPECT_EQ(out.vt, VT_ARRAY | VT_UI1);
    LONG lo = -1;
    SafeArrayGetLBound(out.parray, 1, &lo);
    EXPECT_EQ(lo, 0);
    return ArrayBytes(out);
  }
  std::string ReadText(LONG pos, LONG size) {
    Var id;
    SetI4(&id, 0);
    BSTR b;
    EXPECT_EQ(acc.FileReadText(id, pos, size, &b), S_OK);
    return TakeAnsi(b);
  }
};

TEST_F(ReceivedFile, BlocksAreCutAtTheEnd) {
  EXPECT_EQ(Read(0, 4), "0123");
  EXPECT_EQ(Read(4, 100), "456789");
  EXPECT_EQ(Read(10, 5), "");
  EXPECT_EQ(Read(-1, 5), "");
  EXPECT_EQ(Read(50, 5), "");
  EXPECT_EQ(Read(0, 0), "<empty>");
  EXPECT_EQ(Read(0, -3), "<empty>");
  // A block far larger than the file is answered like any block that fits.
  EXPECT_EQ(Read(8, 0x7FFFFFFF), "89");
  EXPECT_EQ(ReadText(2, 3), "234");
  EXPECT_EQ(ReadText(9, 0x7FFFFFFF), "9");
  EXPECT_EQ(ReadText(0, 0), "");
  EXPECT_EQ(ReadText(-5, 3), "");
}

TEST_F(ReceivedFile, SavedWholeWhateverWasReadAndFalseWhenItCannotBe) {
  Read(6, 2);
  std::string path = ::testing::TempDir() + "qrvx_saved.bin";
  Var id;
  SetI4(&id, 0);
  BSTR name = AnsiBstr(path);
  VARIANT_BOOL ok = 0;
  ASSERT_EQ(acc.FileSaveTo(id, name, &ok), S_OK);
  EXPECT_EQ(ok, VARIANT_TRUE);
  EXPECT_EQ(ReadWholeFile(path), "0123456789");
  SysFreeString(name);
  std::remove(path.c_str());

  name = AnsiBstr(::testing::TempDir() + "no-such-dir/x.bin");
  ASSERT_EQ(acc.FileSaveTo(id, name, &ok), S_OK);
  EXPECT_EQ(ok, VARIANT_FALSE);
  SysFreeString(name);
  Var field;
  SetText(&field, "f");
  name = AnsiBstr(path);
  ASSERT_EQ(acc.FileSaveTo(field, name, &ok), S_OK);
  EXPECT_EQ(ok, VARIANT_FALSE);
  SysFreeString(name);
}

TEST_F(ReceivedFile, TableMembersGiveTheirEmptyResults) {
  Var id, col, cell;
  SetI4(&id, 0);
  SetI4(&col, 0);
  ASSERT_EQ(acc.DBF(id, col, &cell), S_OK);
  EXPECT_EQ(cell.vt, VT_I4);
  EXPECT_EQ(cell.lVal, 0);
  LONG row = 0;
  ASSERT_EQ(acc.get_DBFRow(id, &row), S_OK);
  EXPECT_EQ(row, -1);
  EXPECT_EQ(Text(&TAcceptor::DBFName, 0), "");
  EXPECT_EQ(Text(&TAcceptor::DBFVarName, 0), "");
}

namespace {

// The body is copied once: files posted as they are share that copy, so the
// members read the bytes where they stand; a decoded part has a block of its
// own; a new request (or ClearAll) lets the copy go.
TEST_F(Receiver, PostedFilesShareOneCopyOfTheBody) {
  Post(File("a", "a.bin", "first file") + File("b", "b.bin", "second") +
       "--B\r\nContent-Disposition: form-data; name=\"c\"; filename=\"c.bin\"\r\n"
       "Content-Transfer-Encoding: base64\r\n\r\nZGVjb2RlZA==\r\n" +
       Field("v", "value") + kEnd);
  ASSERT_EQ(acc.Files().size(), 3u);
  const TFileInfo& a = acc.Files()[0];
  const TFileInfo& b = acc.Files()[1];
  const TFileInfo& c = acc.Files()[2];
  ASSERT_TRUE(a.Body && a.Data->IsView());
  EXPECT_EQ(a.Body, b.Body);
  EXPECT_TRUE(b.Data->IsView());
  // The views point into the shared block, in body order.
  EXPECT_LT(a.Data->Memory(), b.Data->Memory());
  EXPECT_GE(a.Data->Memory(), a.Body.get());
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.Data->Memory()), 6), "second");
  ASSERT_TRUE(c.Body);  // its own block of decoded bytes, exactly their size
  EXPECT_NE(c.Body, a.Body);
  EXPECT_EQ(c.Data->Memory(), c.Body.get());
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(c.Data->Memory()), 7), "decoded");
  Var id;
  SetI4(&id, 1);
  LONG size = 0;
  ASSERT_EQ(acc.FileSize(id, &size), S_OK);
  EXPECT_EQ(size, 6);
  Var block;
  ASSERT_EQ(acc.FileRead(id, 2, 3, &block), S_OK);
  EXPECT_EQ(ArrayBytes(block), "con");
  BSTR text = nullptr;
  ASSERT_EQ(acc.FileReadText(id, 0, 100, &text), S_OK);
  EXPECT_EQ(TakeAnsi(text), "second");
  std::string path = ::testing::TempDir() + "qrvx_shared.bin";
  BSTR name = AnsiBstr(path);
  VARIANT_BOOL ok = 0;
  ASSERT_EQ(acc.FileSaveTo(id, name, &ok), S_OK);
  SysFreeString(name);
  EXPECT_EQ(ok, VARIANT_TRUE);
  EXPECT_EQ(ReadWholeFile(path), "second");
  std::remove(path.c_str());

  std::weak_ptr<const uint8_t[]> copy = a.Body;
  EXPECT_EQ(copy.use_count(), 2);  // one per file that views it
  acc.ClearAll();
  EXPECT_TRUE(copy.expired());
  Post(File("a", "a.bin", "x") + kEnd);
  copy = acc.Files()[0].Body;
  Post(Field("v", "no files") + kEnd);
  EXPECT_TRUE(copy.expired());
}

// A script may keep the body in a variable and pass that (by reference).
TEST_F(Receiver, BodyPassedByReferenceIsRead) {
  Var arr;
  SetBytes(&arr, Field("r", "ref") + kEnd);
  VARIANT ref;
  ref.vt = VT_BYREF | VT_VARIANT;
  ref.pvarVal = &arr;
  ASSERT_EQ(acc.ProcessRequest(ref), S_OK);
  EXPECT_EQ(Text(&TAcceptor::VarValue, "r"), "ref");
  Var str;
  SetText(&str, Field("s", "text") + kEnd);
  ref.pvarVal = &str;
  ASSERT_EQ(acc.ProcessRequest(ref), S_OK);
  EXPECT_EQ(Text(&TAcceptor::VarValue, "s"), "text");
}

// A typed reference (VT_BYREF with one of the five numeric types) is read
// through to its number, an index; a reference to text is a name; a null
// reference selects nothing.
TEST_F(Receiver, TypedReferencesSelectLikeTheirValues) {
  Post(Field("zero", "0") + Field("one", "1") + Field("two", "2") + kEnd);
  auto value = [&](VARIANT& id) {
    BSTR b = nullptr;
    EXPECT_EQ(acc.VarValue(id, &b), S_OK);
    return TakeAnsi(b);
  };
  SHORT i2 = 2;
  FLOAT r4 = 0.5f;  // half to even: 0
  BYTE ui1 = 1;
  LONG i4 = 1;
  VARIANT ref;
  ref.vt = VT_BYREF | VT_I2;
  ref.piVal = &i2;
  EXPECT_EQ(value(ref), "2");
  ref.vt = VT_BYREF | VT_R4;
  ref.pfltVal = &r4;
  EXPECT_EQ(value(ref), "0");
  r4 = 2.5f;
  EXPECT_EQ(value(ref), "2");
  ref.vt = VT_BYREF | VT_UI1;
  ref.pbVal = &ui1;
  EXPECT_EQ(value(ref), "1");
  BSTR name = AnsiBstr(" TWO ");
  ref.vt = VT_BYREF | VT_BSTR;
  ref.pbstrVal = &name;
  EXPECT_EQ(value(ref), "2");
  SysFreeString(name);
  ref.vt = VT_BYREF | VT_I4;
  ref.plVal = nullptr;
  EXPECT_EQ(value(ref), "");
  ref.plVal = &i4;
  i4 = 3;  // one past the last: no name is tried
  EXPECT_EQ(value(ref), "");
}

// Whatever the argument, ProcessRequest reports success; an argument that
// is neither a byte array nor convertible to text records nothing (and
// what an earlier request recorded is gone). An array of another unsigned
// element type whose code has the byte type's bits is read as bytes: as many
// as it has elements, from the start of its data.
TEST_F(Receiver, ArgumentsThatAreNoBodyRecordNothing) {
  const std::string body = Field("a", "1") + kEnd;
  auto recordsNothing = [&](VARIANT& arg) {
    Post(body);
    ASSERT_EQ(Count(&TAcceptor::VarCount), 1);
    EXPECT_EQ(acc.ProcessRequest(arg), S_OK);
    EXPECT_EQ(Count(&TAcceptor::VarCount), 0);
  };
  {
    Var longs;  // an array of 4-byte signed integers has no text
    longs.vt = VT_ARRAY | VT_I4;
    longs.parray = SafeArrayCreateVector(VT_I4, 0, 4);
    ASSERT_NE(longs.parray, nullptr);
    recordsNothing(longs);
  }
  VARIANT none;  // a byte array that is not there
  none.vt = VT_ARRAY | VT_UI1;
  none.parray = nullptr;
  recordsNothing(none);
  none.vt = VT_BYREF | VT_ARRAY | VT_UI1;
  none.pparray = nullptr;
  recordsNothing(none);

  std::string words = body;
  words.resize((words.size() + 3) / 4 * 4, ' ');
  Var wide;
  wide.vt = VT_ARRAY | VT_UI4;
  wide.parray = SafeArrayCreateVector(VT_UI4, 0, static_cast<ULONG>(words.size() / 4));
  void* p = nullptr;
  ASSERT_EQ(SafeArrayAccessData(wide.parray, &p), S_OK);
  std::memcpy(p, words.data(), words.size());
  SafeArrayUnaccessData(wide.parray);
  ASSERT_EQ(acc.ProcessRequest(wide), S_OK);
  // A quarter of the body: its first line and part of the header.
  EXPECT_EQ(Count(&TAcceptor::VarCount), 1);
  EXPECT_EQ(Text(&TAcceptor::VarName, 0), "");
}

// A caller that gives no place for the result gets E_POINTER from every
// member that has one, and nothing is written anywhere.
TEST_F(Receiver, MembersRefuseANullResult) {
  Post(File("f", "a.dbf", "x") + kEnd);
  Var id;
  SetI4(&id, 0);
  for (auto m : {&TAcceptor::VarCount, &TAcceptor::FileCount, &TAcceptor::DBFCount})
    EXPECT_EQ((acc.*m)(nullptr), E_POINTER);
  for (auto m :
       {&TAcceptor::VarName, &TAcceptor::VarValue, &TAcceptor::FileName, &TAcceptor::FilePath,
        &TAcceptor::FileVarName, &TAcceptor::DBFName, &TAcceptor::DBFVarName})
    EXPECT_EQ((acc.*m)(id, nullptr), E_POINTER);
  for (auto m : {&TAcceptor::FileSize, &TAcceptor::DBFColCount, &TAcceptor::DBFRowCount,
                 &TAcceptor::get_DBFRow})
    EXPECT_EQ((acc.*m)(id, nullptr), E_POINTER);
  EXPECT_EQ(acc.DBFColName(id, id, nullptr), E_POINTER);
  EXPECT_EQ(acc.DBF(id, id, nullptr), E_POINTER);
  EXPECT_EQ(acc.FileSaveTo(id, nullptr, nullptr), E_POINTER);
  EXPECT_EQ(acc.FileRead(id, 0, 1, nullptr), E_POINTER);
  EXPECT_EQ(acc.FileReadText(id, 0, 1, nullptr), E_POINTER);
  EXPECT_EQ(acc.get_ProcessZIP(nullptr), E_POINTER);
  EXPECT_EQ(acc.get_ProcessDBF(nullptr), E_POINTER);
  EXPECT_EQ(acc.Version(nullptr), E_POINTER);
}

}  // namespace

// Used directly (the front end does), the object counts its references, frees
// itself at the last release and answers only its own interfaces; dispatch by
// name is the COM server object's.
TEST(ReceiverObject, CountsReferencesAndAnswersOnlyItsInterfaces) {
  auto* acc = new TAcceptor;
  EXPECT_EQ(acc->AddRef(), 1u);
  for (const IID* iid : {&IID_IUnknown, &IID_IDispatch, &IID_IAcceptor}) {
    void* p = nullptr;
    EXPECT_EQ(acc->QueryInterface(*iid, &p), S_OK);
    EXPECT_EQ(p, static_cast<IAcceptor*>(acc));
    EXPECT_EQ(acc->Release(), 1u);
  }
  void* p = acc;
  EXPECT_EQ(acc->QueryInterface(IID_IClassFactory, &p), E_NOINTERFACE);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(acc->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
  UINT count = 7;
  EXPECT_EQ(acc->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(acc->GetTypeInfoCount(nullptr), E_POINTER);
  ITypeInfo* info = reinterpret_cast<ITypeInfo*>(acc);
  EXPECT_EQ(acc->GetTypeInfo(0, 0, &info), E_NOTIMPL);
  EXPECT_EQ(info, nullptr);
  EXPECT_EQ(acc->GetIDsOfNames(IID_IUnknown, nullptr, 0, 0, nullptr), E_NOTIMPL);
  EXPECT_EQ(acc->Invoke(1, IID_IUnknown, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr),
            E_NOTIMPL);
  EXPECT_EQ(acc->Release(), 0u);  // freed: the sanitizer build sees no leak
}
