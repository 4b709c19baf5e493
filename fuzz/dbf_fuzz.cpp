// Opens arbitrary bytes as a dBase table, read-only as the receiver does,
// walks it reading every field, then again with the same bytes as its memo
// file, and moves the cursor the other way. Only the table's own errors may
// come out; anything else (a crash, a hang, a foreign exception) is a find.
#include <cstddef>
#include <cstdint>

#include "dbf/DBF.h"

namespace {

void Walk(TDBF& t) {
  int visited = 0;
  for (t.First(); !t.Eof() && visited < 100000; t.Next(), ++visited) {
    (void)t.RecNo();
    for (int i = 0; i < t.FieldDefs().Count(); ++i) {
      TField* f = t.FieldOfDef(i);
      if (!f) continue;
      try {
        (void)f->Value();
        (void)f->DisplayText();
      } catch (const EConvertError&) {
      }
    }
  }
  t.Last();
  if (!t.Bof()) t.Prior();
  t.SetRecNo(t.RecordCount());
}

void Run(const uint8_t* data, size_t size, bool withMemo) {
  TMemoryStream table, memo;
  table.SetPointer(data, static_cast<int64_t>(size));
  memo.SetPointer(data, static_cast<int64_t>(size));
  TDBF t;
  t.AssignStreams(&table, withMemo ? &memo : nullptr, true);
  t.SetReadOnly(true);
  t.SetFilter(size > 40 ? std::string(reinterpret_cast<const char*>(data) + 32, 8) : "A>=1");
  t.SetFiltered(size % 3 == 0);
  try {
    t.Open();
  } catch (const EDBFError&) {
    return;
  } catch (const EReadError&) {
    return;
  }
  Walk(t);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Run(data, size, false);
  Run(data, size, true);
  return 0;
}
