// The scripting members of IAcceptor: variables, files, switches, version.
// Every member clears its result first, resolves its identifier, and answers
// its empty result (with success) when nothing is selected or its own work
// fails. Only a failure outside those guards reaches the caller.
#include <algorithm>

#include "receiver/Acceptors.h"
#include "receiver/SafeCall.h"

namespace {

void ClearBstr(BSTR* v) {
  if (v) *v = nullptr;
}

// A string result: the stored 8-bit text from the ANSI code page.
void SetText(BSTR* v, std::string_view s) {
  *v = AnsiToBstr(s);
}

// A text member: the field of the record that find selects, the empty
// string when it selects none.
template <class Record, class Find>
HRESULT TextMember(BSTR* Value, const std::vector<Record>& records, std::string Record::*field,
                   Find find) {
  if (!Value) return E_POINTER;
  ClearBstr(Value);
  return SafeCall([&] {
    int i = find();
    SetText(Value, i < 0 ? std::string_view() : std::string_view(records[i].*field));
  });
}

// Bytes from pos to the end of data that a read of up to size bytes gets:
// none when pos is negative or at or past the end.
int32_t Readable(const TMemoryStream& data, int64_t pos, int32_t size) {
  int64_t left = const_cast<TMemoryStream&>(data).GetSize() - pos;
  if (pos < 0 || left <= 0 || size <= 0) return 0;
  return static_cast<int32_t>(std::min<int64_t>(left, size));
}

}  // namespace

HRESULT TAcceptor::VarCount(LONG* Value) {
  if (!Value) return E_POINTER;
  *Value = static_cast<LONG>(FVars.size());
  return S_OK;
}

HRESULT TAcceptor::VarName(VARIANT VarID, BSTR* Value) {
  return TextMember(Value, FVars, &TVarInfo::Name, [&] { return FindVar(VarID); });
}

HRESULT TAcceptor::VarValue(VARIANT VarID, BSTR* Value) {
  return TextMember(Value, FVars, &TVarInfo::Value, [&] { return FindVar(VarID); });
}

HRESULT TAcceptor::FileCount(LONG* Value) {
  if (!Value) return E_POINTER;
  *Value = static_cast<LONG>(FFiles.size());
  return S_OK;
}

HRESULT TAcceptor::FileName(VARIANT FileID, BSTR* Value) {
  return TextMember(Value, FFiles, &TFileInfo::FileName, [&] { return FindFile(FileID); });
}

HRESULT TAcceptor::FilePath(VARIANT FileID, BSTR* Value) {
  return TextMember(Value, FFiles, &TFileInfo::FilePath, [&] { return FindFile(FileID); });
}

HRESULT TAcceptor::FileVarName(VARIANT FileID, BSTR* Value) {
  return TextMember(Value, FFiles, &TFileInfo::VarName, [&] { return FindFile(FileID); });
}

HRESULT TAcceptor::FileSize(VARIANT FileID, LONG* Value) {
  if (!Value) return E_POINTER;
  *Value = 0;
  return SafeCall([&] {
    int i = FindFile(FileID);
    if (i >= 0) *Value = static_cast<LONG>(FFiles[i].Data->GetSize());
  });
}

HRESULT TAcceptor::FileSaveTo(VARIANT FileID, BSTR FileName, VARIANT_BOOL* Value) {
  if (!Value) return E_POINTER;
  *Value = VARIANT_FALSE;
  return SafeCall([&] {
    int i = FindFile(FileID);
    if (i < 0) return;
    try {
      std::string name = BstrToAnsi(FileName);
      TFileStream out(name, fmCreate);
      const TMemoryStream& data = *FFiles[i].Data;
      const uint8_t* p = data.Memory();
      int64_t left = const_cast<TMemoryStream&>(data).GetSize();
      while (left > 0) {
        int32_t n = static_cast<int32_t>(std::min<int64_t>(left, 1 << 20));
        out.WriteBuffer(p, n);
        p += n;
        left -= n;
      }
      *Value = VARIANT_TRUE;
    } catch (const std::exception&) {
      // Not created or not completely written: false.
    }
  });
}

// Allocates only what can be read: a large Size asked of a small file gets
// the same answer as any Size that fits, instead of failing on allocation.
HRESULT TAcceptor::FileRead(VARIANT FileID, LONG StartPos, LONG Size, VARIANT* Value) {
  if (!Value) return E_POINTER;
  VariantInit(Value);
  return SafeCall([&] {
    int i = FindFile(FileID);
    if (i < 0 || Size < 1) return;
    TMemoryStream& data = *FFiles[i].Data;
    data.SetPosition(StartPos);
    // The array is made exactly as long as the read: nothing to shrink.
    int32_t n = Readable(data, StartPos, Size);
    SAFEARRAY* psa = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(n));
    if (!psa) return;  // no memory for the block: the empty result
    void* dst = nullptr;
    if (SUCCEEDED(SafeArrayAccessData(psa, &dst))) {
      data.Read(dst, n);
      SafeArrayUnaccessData(psa);
    }
    Value->vt = VT_ARRAY | VT_UI1;
    Value->parray = psa;
  });
}

HRESULT TAcceptor::FileReadText(VARIANT FileID, LONG StartPos, LONG Size, BSTR* Value) {
  if (!Value) return E_POINTER;
  ClearBstr(Value);
  return SafeCall([&] {
    int i = FindFile(FileID);
    if (i >= 0 && Size >= 1) {
      try {
        TMemoryStream& data = *FFiles[i].Data;
        data.SetPosition(StartPos);
        std::string text(static_cast<size_t>(Readable(data, StartPos, Size)), '\0');
        text.resize(static_cast<size_t>(
            text.empty() ? 0 : data.Read(text.data(), static_cast<int32_t>(text.size()))));
        SetText(Value, text);
        return;
      } catch (const std::exception&) {
      }
    }
    SetText(Value, std::string_view());
  });
}

HRESULT TAcceptor::get_ProcessZIP(VARIANT_BOOL* Value) {
  if (!Value) return E_POINTER;
  *Value = FProcessZIP ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

HRESULT TAcceptor::put_ProcessZIP(VARIANT_BOOL Value) {
  FProcessZIP = Value != 0;
  return S_OK;
}

HRESULT TAcceptor::get_ProcessDBF(VARIANT_BOOL* Value) {
  if (!Value) return E_POINTER;
  *Value = FProcessDBF ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

HRESULT TAcceptor::put_ProcessDBF(VARIANT_BOOL Value) {
  FProcessDBF = Value != 0;
  return S_OK;
}

HRESULT TAcceptor::Version(BSTR* Value) {
  if (!Value) return E_POINTER;
  ClearBstr(Value);
  return SafeCall([&] { SetText(Value, "v2.0"); });
}
