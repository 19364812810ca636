// The component's C++ declaration of IGlimmark (glimmark_interface.h) against
// the type library compiled from glimmark.idl: the same GUIDs and version,
// and every member at the same vtable slot with the same DISPID, so that
// Invoke through the library calls the method the script named.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "component/glimmark_interface.h"

namespace {

// Byte offset of a virtual method in its vtable, read from the member
// pointer (Itanium C++ ABI: a virtual member pointer holds 1 + that offset).
template <class Method>
SHORT VtableOffset(Method method) {
  struct {
    uintptr_t pointer;
    ptrdiff_t adjustment;
  } representation;
  static_assert(sizeof(method) == sizeof(representation));
  std::memcpy(&representation, &method, sizeof(representation));
  return static_cast<SHORT>(representation.pointer - 1);
}

struct Member {
  const char16_t* name;
  INVOKEKIND kind;
  DISPID dispid;
  SHORT offset;
};

const Member kMembers[] = {
    {u"OnStartPage", INVOKE_FUNC, kDispIdOnStartPage, VtableOffset(&IGlimmark::OnStartPage)},
    {u"OnEndPage", INVOKE_FUNC, kDispIdOnEndPage, VtableOffset(&IGlimmark::OnEndPage)},
    {u"SaveToFile", INVOKE_FUNC, kDispIdSaveToFile, VtableOffset(&IGlimmark::SaveToFile)},
    {u"SaveToVar", INVOKE_FUNC, kDispIdSaveToVar, VtableOffset(&IGlimmark::SaveToVar)},
    {u"SetRandomText", INVOKE_FUNC, kDispIdSetRandomText, VtableOffset(&IGlimmark::SetRandomText)},
    {u"SetPassword", INVOKE_FUNC, kDispIdSetPassword, VtableOffset(&IGlimmark::SetPassword)},
    {u"Text", INVOKE_PROPERTYGET, kDispIdText, VtableOffset(&IGlimmark::get_Text)},
    {u"Text", INVOKE_PROPERTYPUT, kDispIdText, VtableOffset(&IGlimmark::put_Text)},
    {u"EncryptedText", INVOKE_PROPERTYGET, kDispIdEncryptedText,
     VtableOffset(&IGlimmark::get_EncryptedText)},
    {u"EncryptedText", INVOKE_PROPERTYPUT, kDispIdEncryptedText,
     VtableOffset(&IGlimmark::put_EncryptedText)},
    {u"SetLines", INVOKE_FUNC, kDispIdSetLines, VtableOffset(&IGlimmark::SetLines)},
    {u"SetSize", INVOKE_FUNC, kDispIdSetSize, VtableOffset(&IGlimmark::SetSize)},
    {u"SetColor", INVOKE_FUNC, kDispIdSetColor, VtableOffset(&IGlimmark::SetColor)},
    {u"SetOutputFormat", INVOKE_FUNC, kDispIdSetOutputFormat,
     VtableOffset(&IGlimmark::SetOutputFormat)},
    {u"Send", INVOKE_FUNC, kDispIdSend, VtableOffset(&IGlimmark::Send)},
    {u"EncryptionAge", INVOKE_PROPERTYGET, kDispIdEncryptionAge,
     VtableOffset(&IGlimmark::get_EncryptionAge)},
};

class InterfaceDeclaration : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string path = GLIMMARK_TYPELIB_PATH;
    ASSERT_EQ(LoadTypeLib(std::u16string(path.begin(), path.end()).c_str(), &library_), S_OK);
  }
  void TearDown() override {
    if (library_ != nullptr) library_->Release();
  }
  ITypeLib* library_ = nullptr;
};

TEST_F(InterfaceDeclaration, GuidsAndVersionAreTheLibrarys) {
  TLIBATTR* attributes = nullptr;
  ASSERT_EQ(library_->GetLibAttr(&attributes), S_OK);
  EXPECT_TRUE(IsEqualGUID(attributes->guid, LIBID_GlimmarkPrjLib));
  EXPECT_EQ(attributes->wMajorVerNum, kGlimmarkLibraryMajorVersion);
  EXPECT_EQ(attributes->wMinorVerNum, kGlimmarkLibraryMinorVersion);
  library_->ReleaseTLibAttr(attributes);

  for (const GUID* guid : {&CLSID_Glimmark, &IID_IGlimmark}) {
    ITypeInfo* info = nullptr;
    EXPECT_EQ(library_->GetTypeInfoOfGuid(*guid, &info), S_OK);
    if (info != nullptr) info->Release();
  }
}

TEST_F(InterfaceDeclaration, EveryMemberSitsAtTheSlotAndDispidOfTheCppDeclaration) {
  ITypeInfo* dispatchView = nullptr;
  ASSERT_EQ(library_->GetTypeInfoOfGuid(IID_IGlimmark, &dispatchView), S_OK);
  HREFTYPE vtableReference = 0;
  ITypeInfo* vtableView = nullptr;
  ASSERT_EQ(dispatchView->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtableReference), S_OK);
  ASSERT_EQ(dispatchView->GetRefTypeInfo(vtableReference, &vtableView), S_OK);
  dispatchView->Release();

  TYPEATTR* attributes = nullptr;
  ASSERT_EQ(vtableView->GetTypeAttr(&attributes), S_OK);
  ASSERT_EQ(attributes->cFuncs, std::size(kMembers));
  vtableView->ReleaseTypeAttr(attributes);
  for (UINT i = 0; i < std::size(kMembers); ++i) {
    const Member& expected = kMembers[i];
    FUNCDESC* function = nullptr;
    ASSERT_EQ(vtableView->GetFuncDesc(i, &function), S_OK);
    BSTR name = nullptr;
    vtableView->GetDocumentation(function->memid, &name, nullptr, nullptr, nullptr);
    EXPECT_EQ(std::u16string(name, SysStringLen(name)), expected.name) << i;
    EXPECT_EQ(function->invkind, expected.kind) << i;
    EXPECT_EQ(function->memid, expected.dispid) << i;
    EXPECT_EQ(function->oVft, expected.offset) << i;
    SysFreeString(name);
    vtableView->ReleaseFuncDesc(function);
  }
  vtableView->Release();
}

}  // namespace
