// The receiver: request intake, the record collections and name resolution.
#include "receiver/Acceptors.h"

#include <cstring>
#include <new>

#include "common/AutoHolders.h"
#include "common/FoldLower.h"
#include "common/ScopeExit.h"
#include "common/Trim.h"
#include "mime/MIMELib.h"

namespace {

// The value of a disposition parameter: up to 1000 bytes after its key (such
// as ` name="`) at the key's first occurrence, cut before the first quote.
// The parser has lowered the header's ASCII letters; the fold of the
// receiver's names changes no ASCII byte other than letters, so the keys are
// found in d as in its fold, and only the value is folded.
std::string DispositionParam(std::string_view d, std::string_view key) {
  size_t at = d.find(key);
  if (at == std::string_view::npos) return std::string();
  std::string_view v = d.substr(at + key.size(), 1000);
  size_t q = v.find('"');
  if (q != std::string_view::npos) v = v.substr(0, q);
  return FoldLower(v);
}

// Index of the last "\" or ":" of a posted file name ("/" is not a separator).
size_t LastSeparator(const std::string& f) {
  return f.find_last_of("\\:");
}

}  // namespace

namespace {

// Identifier resolution shared by FindVar, FindFile and FindDBF: a number of
// one of the five numeric types (by value) is a 0-based index, rounded half
// to even; anything else is text, trimmed and folded, compared byte for byte
// with the stored folded names. -1 when nothing is selected.
template <class NameOf>
int ResolveIdentifier(const VARIANT& ref, size_t count, NameOf nameOf) {
  VARIANT id;
  if (!IdentifierValue(ref, &id)) return -1;
  switch (id.vt) {
    case VT_I2:
    case VT_I4:
    case VT_R4:
    case VT_R8:
    case VT_UI1: {
      VARIANT v;
      VariantInit(&v);
      if (FAILED(VariantChangeType(&v, &id, 0, VT_I4))) return -1;
      return v.lVal >= 0 && static_cast<size_t>(v.lVal) < count ? static_cast<int>(v.lVal) : -1;
    }
    default: break;
  }
  std::string text;
  try {
    if (!IdentifierText(id, &text) || text.empty()) return -1;
  } catch (...) {
    return -1;
  }
  for (size_t i = 0; i < count; ++i)
    if (nameOf(i) == text) return static_cast<int>(i);
  return -1;
}

}  // namespace

// ---- Conversions -----------------------------------------------------------

BSTR AnsiToBstr(std::string_view s) {
  if (s.empty()) return SysAllocStringLen(nullptr, 0);
  if (s.size() > 0x3FFFFFF0u) throw EOutOfMemory();
  int n = MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  BSTR b = SysAllocStringLen(nullptr, static_cast<UINT>(n));
  if (!b) throw EOutOfMemory();
  MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), b, n);
  return b;
}

std::string BstrToAnsi(BSTR b) {
  UINT len = SysStringLen(b);
  if (!len) return std::string();
  int n = WideCharToMultiByte(CP_ACP, 0, b, static_cast<int>(len), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, b, static_cast<int>(len), s.data(), n, nullptr, nullptr);
  return s;
}

bool IdentifierValue(const VARIANT& id, VARIANT* value) {
  const VARIANT* v = &id;
  // A reference to a VARIANT holds a value, not another reference; a short
  // chain is followed, a longer one (or a cycle) selects nothing.
  for (int depth = 0; v->vt == (VT_BYREF | VT_VARIANT); ++depth) {
    if (depth == 4 || !v->pvarVal) return false;
    v = v->pvarVal;
  }
  *value = *v;
  if (!(v->vt & VT_BYREF)) return true;
  if (!v->byref) return false;
  const VARTYPE base = v->vt & ~VT_BYREF;
  switch (base) {
    case VT_I2: value->iVal = *v->piVal; break;
    case VT_I4: value->lVal = *v->plVal; break;
    case VT_R4: value->fltVal = *v->pfltVal; break;
    case VT_R8: value->dblVal = *v->pdblVal; break;
    case VT_UI1: value->bVal = *v->pbVal; break;
    default: return true;  // read through the reference when converted to text
  }
  value->vt = base;
  return true;
}

bool IdentifierText(const VARIANT& id, std::string* text) {
  TVariant v;
  if (FAILED(VariantChangeType(v.Ptr(), const_cast<VARIANT*>(&id), 0, VT_BSTR))) return false;
  *text = FoldLower(TrimBlanks(BstrToAnsi(v.Get().bstrVal)));
  return true;
}

// ---- TAcceptor -------------------------------------------------------------

TAcceptor::TAcceptor() = default;

TAcceptor::~TAcceptor() {
  ClearAll();
}

void TAcceptor::ClearAll() noexcept {
  FVars.clear();
  // Tables read from their files' buffers: release them first.
  FDBFs.clear();
  FFiles.clear();
}

void TAcceptor::AddFile(const std::string& varName, const std::string& fileName,
                        std::unique_ptr<TMemoryStream> data,
                        std::shared_ptr<const uint8_t[]> body) {
  std::string f = FoldLower(fileName);
  size_t sep = LastSeparator(f);
  TFileInfo info;
  info.VarName = varName;
  info.FileName = sep == std::string::npos ? f : f.substr(sep + 1);
  info.FilePath = sep == std::string::npos ? std::string() : f.substr(0, sep + 1);
  info.Body = std::move(body);
  info.Data = std::move(data);
  TMemoryStream& stored = *info.Data;
  FFiles.push_back(std::move(info));
  if (FProcessDBF && f.find(".dbf") != std::string::npos) AddTable(varName, f, stored);
}

namespace {

std::shared_ptr<uint8_t[]> NewBody(size_t size) {
  uint8_t* p = new (std::nothrow) uint8_t[size];
  if (!p) throw EOutOfMemory();
  return std::shared_ptr<uint8_t[]>(p);
}

// The argument itself when a script passes a variable (by reference).
const VARIANT& RequestValue(const VARIANT& request) {
  const VARIANT* v = &request;
  for (int depth = 0; v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal && depth < 4; ++depth)
    v = v->pvarVal;
  return *v;
}

}  // namespace

// The body from the argument: a byte array is copied as it is, anything else
// is converted to text and then to the ANSI code page, straight into the
// object's own block.
void TAcceptor::Intake(const VARIANT& argument, std::shared_ptr<uint8_t[]>* body,
                       size_t* size) const {
  body->reset();
  *size = 0;
  const VARIANT& request = RequestValue(argument);
  if ((request.vt & (VT_ARRAY | VT_UI1)) == (VT_ARRAY | VT_UI1)) {
    SAFEARRAY* psa =
        (request.vt & VT_BYREF) ? (request.pparray ? *request.pparray : nullptr) : request.parray;
    if (!psa || SafeArrayGetDim(psa) < 1) return;
    LONG lo = 0, hi = -1;
    SafeArrayGetLBound(psa, 1, &lo);
    SafeArrayGetUBound(psa, 1, &hi);
    int64_t n = static_cast<int64_t>(hi) - lo + 1;
    if (n <= 0) return;
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(psa, &data))) throw Exception("Variant array is locked");
    TScopeExit unlock([psa] { SafeArrayUnaccessData(psa); });
    *body = NewBody(static_cast<size_t>(n));
    std::memcpy(body->get(), data, static_cast<size_t>(n));
    *size = static_cast<size_t>(n);
    return;
  }
  TVariant text;
  if (FAILED(VariantChangeType(text.Ptr(), const_cast<VARIANT*>(&request), 0, VT_BSTR)))
    throw Exception("Invalid variant type conversion");
  BSTR s = text.Get().bstrVal;
  UINT len = SysStringLen(s);
  int n =
      len ? WideCharToMultiByte(CP_ACP, 0, s, static_cast<int>(len), nullptr, 0, nullptr, nullptr)
          : 0;
  if (n > 0) {
    *body = NewBody(static_cast<size_t>(n));
    WideCharToMultiByte(CP_ACP, 0, s, static_cast<int>(len), reinterpret_cast<char*>(body->get()),
                        n, nullptr, nullptr);
    *size = static_cast<size_t>(n);
  }
}

// One part of the body becomes a variable or a received file.
void TAcceptor::TakePart(TAttachment& part, const std::shared_ptr<const uint8_t[]>& body) {
  std::string field = DispositionParam(part.Disposition, " name=\"");
  std::string file = DispositionParam(part.Disposition, " filename=\"");
  const char* bytes = reinterpret_cast<const char*>(part.Data.Memory());
  size_t size = static_cast<size_t>(part.Data.GetSize());
  if (file.empty()) {
    FVars.push_back(TVarInfo{std::move(field), std::string(bytes, size)});
    return;
  }
  // The file views the part's bytes where they stand: in the body's block
  // for a part taken as it was posted, in its own decoded block otherwise.
  auto data = std::make_unique<TMemoryStream>();
  data->SetPointer(bytes, static_cast<int64_t>(size));
  std::shared_ptr<const uint8_t[]> shared = part.Block ? part.Block : body;
  TMemoryStream& stored = *data;
  AddFile(field, file, std::move(data), std::move(shared));
  if (FProcessZIP && file.find(".zip") != std::string::npos) {
    stored.SetPosition(0);
    ExpandArchive(stored, field);
  }
}

HRESULT TAcceptor::ProcessRequest(VARIANT Request) {
  ClearAll();
  // Every failure ends the processing of the body quietly; what was
  // recorded so far stays.
  try {
    std::shared_ptr<uint8_t[]> owned;
    size_t size = 0;
    Intake(Request, &owned, &size);
    std::shared_ptr<const uint8_t[]> body = std::move(owned);
    std::string_view text(reinterpret_cast<const char*>(body.get()), size);
    if (TrimBlanks(text).empty()) return S_OK;
    const size_t maxParts = kBaseParts + size / kBytesPerExtraPart;
    size_t parts = 0;
    TMime mime;
    mime.ParseEach(text, [&](TAttachment& part) {
      if (++parts > maxParts) return false;
      TakePart(part, body);
      return true;
    });
  } catch (...) {
  }
  return S_OK;
}

int TAcceptor::FindVar(const VARIANT& id) const {
  return ResolveIdentifier(id, FVars.size(),
                           [this](size_t i) -> const std::string& { return FVars[i].Name; });
}

int TAcceptor::FindFile(const VARIANT& id) const {
  return ResolveIdentifier(id, FFiles.size(),
                           [this](size_t i) -> const std::string& { return FFiles[i].FileName; });
}

int TAcceptor::FindDBF(const VARIANT& id) const {
  return ResolveIdentifier(id, FDBFs.size(),
                           [this](size_t i) -> const std::string& { return FDBFs[i].Name; });
}
