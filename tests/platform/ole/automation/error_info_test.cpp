// The thread's error information: made, filled, posted, handed over once.
#include <gtest/gtest.h>
#include <oleauto.h>

#include <string>
#include <thread>

namespace {

IErrorInfo* MakeErrorInfo(const char16_t* source, const char16_t* description) {
  ICreateErrorInfo* create = nullptr;
  EXPECT_EQ(CreateErrorInfo(&create), S_OK);
  BSTR s = SysAllocString(source);
  BSTR d = SysAllocString(description);
  EXPECT_EQ(create->SetSource(s), S_OK);
  EXPECT_EQ(create->SetDescription(d), S_OK);
  SysFreeString(s);
  SysFreeString(d);
  IErrorInfo* info = nullptr;
  EXPECT_EQ(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)), S_OK);
  create->Release();
  return info;
}

std::u16string DescriptionOf(IErrorInfo* info) {
  BSTR text = nullptr;
  EXPECT_EQ(info->GetDescription(&text), S_OK);
  std::u16string result = text != nullptr ? text : u"";
  SysFreeString(text);
  return result;
}

TEST(ErrorInfo, PostedInformationIsHandedOverOnce) {
  IErrorInfo* posted = MakeErrorInfo(u"Glimmark", u"Cannot save into the file");
  EXPECT_EQ(SetErrorInfo(0, posted), S_OK);
  posted->Release();  // the thread holds its own reference

  IErrorInfo* taken = nullptr;
  ASSERT_EQ(GetErrorInfo(0, &taken), S_OK);
  ASSERT_NE(taken, nullptr);
  BSTR source = nullptr;
  EXPECT_EQ(taken->GetSource(&source), S_OK);
  EXPECT_EQ(std::u16string(source), u"Glimmark");
  SysFreeString(source);
  EXPECT_EQ(DescriptionOf(taken), u"Cannot save into the file");
  taken->Release();

  IErrorInfo* again = reinterpret_cast<IErrorInfo*>(0x1);
  EXPECT_EQ(GetErrorInfo(0, &again), S_FALSE);
  EXPECT_EQ(again, nullptr);
}

TEST(ErrorInfo, NewInformationReplacesTheOldAndEachThreadHasItsOwn) {
  IErrorInfo* first = MakeErrorInfo(u"a", u"first");
  IErrorInfo* second = MakeErrorInfo(u"b", u"second");
  SetErrorInfo(0, first);
  SetErrorInfo(0, second);
  first->Release();
  second->Release();

  std::thread([] {
    IErrorInfo* none = nullptr;
    EXPECT_EQ(GetErrorInfo(0, &none), S_FALSE);
    IErrorInfo* left = MakeErrorInfo(u"c", u"left on a thread that ends");
    SetErrorInfo(0, left);  // the thread's reference is released when the thread ends
    left->Release();
  }).join();

  IErrorInfo* taken = nullptr;
  ASSERT_EQ(GetErrorInfo(0, &taken), S_OK);
  EXPECT_EQ(DescriptionOf(taken), u"second");
  taken->Release();
  EXPECT_EQ(SetErrorInfo(0, nullptr), S_OK);
}

TEST(ErrorInfo, BadArgumentsAreRefused) {
  EXPECT_EQ(CreateErrorInfo(nullptr), E_INVALIDARG);
  EXPECT_EQ(GetErrorInfo(0, nullptr), E_INVALIDARG);
  IErrorInfo* info = nullptr;
  EXPECT_EQ(GetErrorInfo(1, &info), E_INVALIDARG);
  EXPECT_EQ(SetErrorInfo(1, nullptr), E_INVALIDARG);

  IErrorInfo* made = MakeErrorInfo(u"s", u"d");
  EXPECT_EQ(made->GetSource(nullptr), E_INVALIDARG);
  void* other = nullptr;
  EXPECT_EQ(made->QueryInterface(IID_IDispatch, &other), E_NOINTERFACE);
  EXPECT_EQ(other, nullptr);
  BSTR help = reinterpret_cast<BSTR>(0x1);
  EXPECT_EQ(made->GetHelpFile(&help), S_OK);  // never set: null
  EXPECT_EQ(help, nullptr);
  made->Release();
}

}  // namespace
