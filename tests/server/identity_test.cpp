// The three descriptions of the interface agree: receiver/qrvx.idl, the type
// information the built library carries (under Wine the widl-compiled type
// library, natively the platform layer's table) and the vtable of
// receiver/IAcceptor.h; and all carry the identity of receiver/Guids.h.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "receiver/Guids.h"
#include "receiver/IAcceptor.h"
#include "support/Automation.h"
#include "support/Idl.h"
#include "tests/server/Recorder.h"

namespace {

// The type of an IDL parameter as a VARTYPE (VT_BYREF for a pointer).
VARTYPE IdlType(const TIdlParam& p) {
  VARTYPE vt = p.Type == "VARIANT"        ? VT_VARIANT
               : p.Type == "long"         ? VT_I4
               : p.Type == "BSTR"         ? VT_BSTR
               : p.Type == "VARIANT_BOOL" ? VT_BOOL
                                          : VT_EMPTY;
  return p.Pointer ? VARTYPE(vt | VT_BYREF) : vt;
}

USHORT IdlFlags(const TIdlParam& p) {
  USHORT f = 0;
  if (p.Attributes.find("in") != std::string::npos) f |= PARAMFLAG_FIN;
  if (p.Attributes.find("out") != std::string::npos) f |= PARAMFLAG_FOUT;
  if (p.Attributes.find("retval") != std::string::npos) f |= PARAMFLAG_FRETVAL;
  return f;
}

// A parameter's type as a VARTYPE: a pointer (VT_PTR to T, as the real
// automation library describes it) as T | VT_BYREF, as the platform layer
// gives it.
VARTYPE DescType(const TYPEDESC& t) {
  constexpr VARTYPE kVtPtr = 26;  // VT_PTR
  if (t.vt == kVtPtr && t.lptdesc) return VARTYPE(t.lptdesc->vt | VT_BYREF);
  return t.vt;
}

std::string Name(ITypeInfo* ti, MEMBERID id) {
  BSTR name = nullptr;
  ti->GetDocumentation(id, &name, nullptr, nullptr, nullptr);
  return TakeAnsi(name);
}

class Identity : public ::testing::Test {
 protected:
  void SetUp() override {
    Dispatch = AcceptorTypeInfo(QRVX_LIBRARY);
    ASSERT_NE(Dispatch, nullptr) << QRVX_LIBRARY;
    // Natively the one type description is the interface's own; the real
    // automation library describes a dual interface twice, and the
    // interface half holds the vtable methods with their [retval] parameters.
    HREFTYPE ref = 0;
    if (Dispatch->GetRefTypeOfImplType(UINT(-1), &ref) == S_OK) {
      ASSERT_EQ(Dispatch->GetRefTypeInfo(ref, &Vtable), S_OK);
    } else {
      Vtable = Dispatch;
      Vtable->AddRef();
    }
    Idl = IdlMembers(ReadWholeFile(QRVX_IDL_FILE));
    ASSERT_EQ(Idl.size(), 26u) << QRVX_IDL_FILE;
  }
  void TearDown() override {
    if (Vtable) Vtable->Release();
    if (Dispatch) Dispatch->Release();
  }

  ITypeInfo* Dispatch = nullptr;
  ITypeInfo* Vtable = nullptr;
  std::vector<TIdlMember> Idl;
};

TEST_F(Identity, TheTypeLibraryCarriesTheIdentity) {
  EXPECT_TRUE(IsEqualGUID(LIBID_QRVX, kLIBID_QRVX));
  EXPECT_TRUE(IsEqualGUID(IID_IAcceptor, kIID_IAcceptor));
  EXPECT_TRUE(IsEqualGUID(CLSID_Acceptor, kCLSID_Acceptor));
  // Registered clients and scripts refer to these: they never change.
  EXPECT_STREQ(QRVX_LIBID_TEXT, "3C86BF94-8932-4E97-9B38-66C71EEA9A7E");
  EXPECT_STREQ(QRVX_IID_IACCEPTOR_TEXT, "B48D6CB4-E63B-491E-958F-B90774817DB8");
  EXPECT_STREQ(QRVX_CLSID_ACCEPTOR_TEXT, "7806FC75-04C2-45B7-A723-3DC129D6344A");
  EXPECT_EQ(kCLSID_Acceptor.Data1, 0x7806FC75u);
  EXPECT_EQ(kCLSID_Acceptor.Data4[7], 0x4A);

  TYPEATTR* attr = nullptr;
  ASSERT_EQ(Dispatch->GetTypeAttr(&attr), S_OK);
  EXPECT_TRUE(IsEqualGUID(attr->guid, kIID_IAcceptor));
  Dispatch->ReleaseTypeAttr(attr);
  ITypeLib* lib = nullptr;
  UINT index = 0;
  ASSERT_EQ(Dispatch->GetContainingTypeLib(&lib, &index), S_OK);
  TLIBATTR* libAttr = nullptr;
  ASSERT_EQ(lib->GetLibAttr(&libAttr), S_OK);
  EXPECT_TRUE(IsEqualGUID(libAttr->guid, kLIBID_QRVX));
  lib->ReleaseTLibAttr(libAttr);
  ITypeInfo* coclass = nullptr;
  ASSERT_EQ(lib->GetTypeInfoOfGuid(kCLSID_Acceptor, &coclass), S_OK);
  EXPECT_EQ(Name(coclass, MEMBERID_NIL), "Acceptor");
  coclass->Release();
  lib->Release();
}

// Member by member in vtable order: name, dispatch identifier, kind, help
// string, and each parameter's type, direction and name.
TEST_F(Identity, TheTypeInformationIsTheIdl) {
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(Vtable->GetTypeAttr(&attr), S_OK);
  const UINT count = attr->cFuncs;
  Vtable->ReleaseTypeAttr(attr);
  ASSERT_EQ(count, Idl.size());
  for (UINT i = 0; i < count; ++i) {
    const TIdlMember& m = Idl[i];
    SCOPED_TRACE(m.Name);
    FUNCDESC* f = nullptr;
    ASSERT_EQ(Vtable->GetFuncDesc(i, &f), S_OK);
    EXPECT_EQ(f->memid, m.Id);
    EXPECT_EQ(f->invkind, m.Get ? INVOKE_PROPERTYGET : m.Put ? INVOKE_PROPERTYPUT : INVOKE_FUNC);
    EXPECT_EQ(f->oVft, SHORT((7 + i) * sizeof(void*))) << "after IDispatch's seven methods";
    ASSERT_EQ(size_t(f->cParams), m.Params.size());
    for (size_t k = 0; k < m.Params.size(); ++k) {
      SCOPED_TRACE(k);
      const ELEMDESC& e = f->lprgelemdescParam[k];
      EXPECT_EQ(DescType(e.tdesc), IdlType(m.Params[k]));
      EXPECT_EQ(e.paramdesc.wParamFlags & (PARAMFLAG_FIN | PARAMFLAG_FOUT | PARAMFLAG_FRETVAL),
                IdlFlags(m.Params[k]));
    }
    BSTR name = nullptr, doc = nullptr;
    ASSERT_EQ(Vtable->GetDocumentation(f->memid, &name, &doc, nullptr, nullptr), S_OK);
    EXPECT_EQ(TakeAnsi(name), m.Name);
    EXPECT_EQ(TakeAnsi(doc), m.Help);
    if (!m.Put) {
      // The names GetNames gives: the member's, then its named parameters.
      BSTR names[8] = {};
      UINT got = 0;
      ASSERT_EQ(Vtable->GetNames(f->memid, names, 8, &got), S_OK);
      std::vector<std::string> want{m.Name}, have;
      for (const TIdlParam& p : m.Params) want.push_back(p.Name);
      for (UINT k = 0; k < got; ++k) have.push_back(TakeAnsi(names[k]));
      EXPECT_EQ(have, want);
    }
    Vtable->ReleaseFuncDesc(f);
  }
}

// Every member called through the type information reaches the method of
// IAcceptor.h's vtable that bears its name.
TEST_F(Identity, EachMemberReachesItsMethodOfIAcceptor) {
  TRecorder recorder;
  for (const TIdlMember& m : Idl) {
    SCOPED_TRACE(m.Name);
    std::vector<Var> args(m.Params.size());
    UINT in = 0;
    for (const TIdlParam& p : m.Params) {
      if (p.Attributes.find("retval") != std::string::npos) continue;
      // rgvarg holds the arguments last first.
      Var& a = args[m.Params.size() - 1 - in++];
      switch (IdlType(p)) {
        case VT_BSTR: SetText(&a, "x"); break;
        case VT_BOOL: a.vt = VT_BOOL, a.boolVal = VARIANT_TRUE; break;
        default: SetI4(&a, 1); break;
      }
    }
    DISPPARAMS params{};
    params.rgvarg = args.data() + (args.size() - in);
    params.cArgs = in;
    DISPID put = DISPID_PROPERTYPUT;
    if (m.Put) params.rgdispidNamedArgs = &put, params.cNamedArgs = 1;
    Var result;
    EXCEPINFO excep{};
    UINT argErr = 0;
    recorder.Called.clear();
    const WORD flags = m.Get   ? DISPATCH_PROPERTYGET
                       : m.Put ? DISPATCH_PROPERTYPUT
                               : DISPATCH_METHOD;
    EXPECT_EQ(Dispatch->Invoke(static_cast<IAcceptor*>(&recorder), m.Id, flags, &params, &result,
                               &excep, &argErr),
              S_OK);
    EXPECT_EQ(recorder.Called, (m.Get ? "get_" : m.Put ? "put_" : "") + m.Name);
  }
}

}  // namespace
