// The automation error object the server raises its errors with: what is set
// through ICreateErrorInfo reads back through IErrorInfo, and the thread's
// current error object is handed over once, with the reference the thread
// holds (a caller may release its own right after installing it).
#include <windows.h>

#include <gtest/gtest.h>

#include "support/Automation.h"

namespace {

std::string Read(HRESULT (STDMETHODCALLTYPE IErrorInfo::*get)(BSTR*), IErrorInfo* info) {
  BSTR b = nullptr;
  EXPECT_EQ((info->*get)(&b), S_OK);
  return TakeAnsi(b);
}

void Put(HRESULT (STDMETHODCALLTYPE ICreateErrorInfo::*set)(LPOLESTR), ICreateErrorInfo* c,
         const char* text) {
  BSTR b = AnsiBstr(text);
  EXPECT_EQ((c->*set)(b), S_OK);
  SysFreeString(b);
}

TEST(ErrorInfo, SetThroughOneInterfaceReadThroughTheOther) {
  ICreateErrorInfo* create = nullptr;
  ASSERT_EQ(CreateErrorInfo(&create), S_OK);
  ASSERT_NE(create, nullptr);
  IErrorInfo* info = nullptr;
  ASSERT_EQ(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)), S_OK);
  // Nothing set yet: no texts, no help context.
  EXPECT_EQ(Read(&IErrorInfo::GetDescription, info), "");
  EXPECT_EQ(Read(&IErrorInfo::GetHelpFile, info), "");
  DWORD context = 99;
  EXPECT_EQ(info->GetHelpContext(&context), S_OK);
  EXPECT_EQ(context, 0u);

  EXPECT_EQ(create->SetGUID(IID_IDispatch), S_OK);
  Put(&ICreateErrorInfo::SetSource, create, "QRVX.Acceptor");
  Put(&ICreateErrorInfo::SetDescription, create, "first");
  Put(&ICreateErrorInfo::SetDescription, create, "Error creating system registry entry");
  Put(&ICreateErrorInfo::SetHelpFile, create, "QRVX.CHM");
  EXPECT_EQ(create->SetHelpContext(12), S_OK);
  GUID guid{};
  EXPECT_EQ(info->GetGUID(&guid), S_OK);
  EXPECT_TRUE(IsEqualGUID(guid, IID_IDispatch));
  EXPECT_EQ(Read(&IErrorInfo::GetSource, info), "QRVX.Acceptor");
  EXPECT_EQ(Read(&IErrorInfo::GetDescription, info), "Error creating system registry entry");
  EXPECT_EQ(Read(&IErrorInfo::GetHelpFile, info), "QRVX.CHM");
  EXPECT_EQ(info->GetHelpContext(&context), S_OK);
  EXPECT_EQ(context, 12u);

  // One object: both interfaces lead to the same IUnknown; others are refused.
  IUnknown *a = nullptr, *b = nullptr;
  ICreateErrorInfo* back = nullptr;
  ASSERT_EQ(info->QueryInterface(IID_ICreateErrorInfo, reinterpret_cast<void**>(&back)), S_OK);
  ASSERT_EQ(info->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&a)), S_OK);
  ASSERT_EQ(back->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&b)), S_OK);
  EXPECT_EQ(a, b);
  a->Release();
  b->Release();
  back->Release();
  void* p = &p;
  EXPECT_EQ(create->QueryInterface(IID_IDispatch, &p), E_NOINTERFACE);
  EXPECT_EQ(p, nullptr);
  create->Release();
  info->Release();
}

TEST(ErrorInfo, TheThreadsErrorObjectIsHandedOverOnce) {
  IErrorInfo* stale = nullptr;
  GetErrorInfo(0, &stale);  // whatever an earlier test left
  if (stale) stale->Release();

  ICreateErrorInfo* create = nullptr;
  ASSERT_EQ(CreateErrorInfo(&create), S_OK);
  Put(&ICreateErrorInfo::SetDescription, create, "kept by the thread");
  IErrorInfo* info = nullptr;
  ASSERT_EQ(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)), S_OK);
  create->Release();
  ASSERT_EQ(SetErrorInfo(0, info), S_OK);
  info->Release();  // the thread's reference keeps it alive

  IErrorInfo* got = nullptr;
  ASSERT_EQ(GetErrorInfo(0, &got), S_OK);
  ASSERT_EQ(got, info);
  EXPECT_EQ(Read(&IErrorInfo::GetDescription, got), "kept by the thread");
  IErrorInfo* again = reinterpret_cast<IErrorInfo*>(&got);
  EXPECT_EQ(GetErrorInfo(0, &again), S_FALSE);
  EXPECT_EQ(again, nullptr);

  // Installing none clears what was installed.
  ASSERT_EQ(SetErrorInfo(0, got), S_OK);
  got->Release();
  ASSERT_EQ(SetErrorInfo(0, nullptr), S_OK);
  again = reinterpret_cast<IErrorInfo*>(&got);
  EXPECT_EQ(GetErrorInfo(0, &again), S_FALSE);
  EXPECT_EQ(again, nullptr);
}

}  // namespace
