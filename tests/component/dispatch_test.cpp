// IGlimmark called by name, as a script host calls it: the registered type
// library decodes and coerces the arguments and calls the vtable; the shared
// type information answers one-name look-ups from its cache. Each case
// registers this test program (which carries the component's resources) into
// a registry file of its own.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "component/cglimmark.h"
#include "dll/exports.h"
#include "glimmark_test_seams.h"
#include "server/type_info_holder.h"
#include "support/scratch_registry.h"
#include "testing/glimmark_client.h"
#include "tools/dispatch_caller/dispatch_caller.h"

namespace {

constexpr WORD kGet = DISPATCH_PROPERTYGET;
constexpr WORD kPut = DISPATCH_PROPERTYPUT;
// Script hosts call a method, or read a property, with both flags.
constexpr WORD kMethod = DISPATCH_METHOD | DISPATCH_PROPERTYGET;
constexpr HRESULT kOutputFailure = static_cast<HRESULT>(0x80040100);

std::u16string Text(BSTR text) {
  return text != nullptr ? std::u16string(text, SysStringLen(text)) : u"";
}

class DispatchTest : public ScratchRegistry {
 protected:
  void SetUp() override {
    ScratchRegistry::SetUp();
    if (registered_) {
      ASSERT_EQ(DllRegisterServer(), S_OK);
    }
    ASSERT_EQ(CreateGlimmark(&object_), S_OK);
  }
  void TearDown() override {
    if (object_ != nullptr) object_->Release();
    ScratchRegistry::TearDown();
  }
  ChallengeSettings* Settings() { return Implementation(object_)->Settings(); }

  bool registered_ = true;
  IGlimmark* object_ = nullptr;
};

TEST_F(DispatchTest, SettingsArriveThroughEveryArgumentTypeAScriptPasses) {
  ScriptCall size, lines, colours, format;
  CallByName(object_, u"SetSize", kMethod, {SHORT{160}, u"50"}, &size);
  CallByName(object_, u"SetLines", kMethod, {3.0, LONG{2}}, &lines);
  // Above 2^31 - 1 a script's number is a double; the unsigned colour takes it.
  CallByName(object_, u"SetColor", kMethod, {4278190335.0, LONG{0x00F0E0D0}}, &colours);
  CallByName(object_, u"SetOutputFormat", kMethod, {u"1", 40.4}, &format);
  for (ScriptCall* call : {&size, &lines, &colours, &format}) EXPECT_EQ(call->result, S_OK);
  EXPECT_EQ(Settings()->width, 160);
  EXPECT_EQ(Settings()->height, 50);
  EXPECT_EQ(Settings()->lineCount, 3);
  EXPECT_EQ(Settings()->lineWidth, 2);
  EXPECT_EQ(Settings()->fontColor, 0xFF0000FFu);
  EXPECT_EQ(Settings()->backgroundColor, 0x00F0E0D0u);
  EXPECT_EQ(Settings()->outputFormat, kOutputFormatGif);
  EXPECT_EQ(Settings()->jpegQuality, 40);  // 40.4 rounds as VariantChangeType rounds
}

TEST_F(DispatchTest, PropertiesReadAndWriteAndTheTokenTravelsByName) {
  ScriptCall put, get, password, token;
  CallByName(object_, u"Text", kPut, {u"By Name"}, &put);
  ASSERT_EQ(put.result, S_OK);
  CallByName(object_, u"Text", kMethod, {}, &get);
  ASSERT_EQ(get.result, S_OK);
  ASSERT_EQ(get.value.vt, VT_BSTR);
  EXPECT_EQ(Text(get.value.bstrVal), u"By Name");
  CallByName(object_, u"SetPassword", kMethod, {u"pw"}, &password);
  CallByName(object_, u"EncryptedText", kGet, {}, &token);
  ASSERT_EQ(token.result, S_OK);
  ASSERT_EQ(token.value.vt, VT_BSTR);

  IGlimmark* second = nullptr;
  ASSERT_EQ(CreateGlimmark(&second), S_OK);
  ScriptCall secondPassword, restore, text, age;
  CallByName(second, u"SetPassword", kMethod, {u"pw"}, &secondPassword);
  CallByName(second, u"EncryptedText", kPut, {ScriptValue(token.value.bstrVal)}, &restore);
  CallByName(second, u"Text", kGet, {}, &text);
  CallByName(second, u"EncryptionAge", kMethod, {}, &age);
  second->Release();
  EXPECT_EQ(restore.result, S_OK);
  EXPECT_EQ(Text(text.value.bstrVal), u"By Name");
  ASSERT_EQ(age.result, S_OK);
  ASSERT_EQ(age.value.vt, VT_I4);
  EXPECT_GE(age.value.lVal, 0);
  EXPECT_LE(age.value.lVal, 5);
}

TEST_F(DispatchTest, SaveToVarGivesTheEncodedFileAsTheCallsValue) {
  ScriptCall text, bytes;
  CallByName(object_, u"SetRandomText", kMethod, {LONG{4}, LONG{6}}, &text);
  EXPECT_EQ(text.result, S_OK);
  EXPECT_EQ(text.value.vt, VT_EMPTY);  // a method without retval has no value
  CallByName(object_, u"SaveToVar", kMethod, {}, &bytes);
  ASSERT_EQ(bytes.result, S_OK);
  ASSERT_EQ(bytes.value.vt, VT_ARRAY | VT_UI1);
  const BYTE* data = nullptr;
  ASSERT_EQ(
      SafeArrayAccessData(bytes.value.parray, reinterpret_cast<void**>(const_cast<BYTE**>(&data))),
      S_OK);
  EXPECT_EQ(data[0], 0xFF);  // JPEG start of image
  EXPECT_EQ(data[1], 0xD8);
  SafeArrayUnaccessData(bytes.value.parray);
}

TEST_F(DispatchTest, WrongCallsGetTheDispatchErrorsAndTheArgumentsIndex) {
  struct Case {
    const char* what;
    const char16_t* name;
    WORD flags;
    std::initializer_list<ScriptValue> arguments;
    HRESULT expected;
    UINT argumentError;  // index in rgvarg, that is counted from the last argument
  };
  const ScriptValue notANumber(u"abc"), number(LONG{1});
  const Case cases[] = {
      {"too few", u"SetSize", kMethod, {number}, DISP_E_BADPARAMCOUNT, ~0u},
      {"too many", u"SetSize", kMethod, {number, number, number}, DISP_E_BADPARAMCOUNT, ~0u},
      {"first not a number", u"SetSize", kMethod, {notANumber, number}, DISP_E_TYPEMISMATCH, 1},
      {"second not a number", u"SetSize", kMethod, {number, notANumber}, DISP_E_TYPEMISMATCH, 0},
      // A named argument with no arguments at all is malformed.
      {"a put without a value", u"Text", kPut, {}, E_INVALIDARG, ~0u},
      {"a read-only property put", u"EncryptionAge", kPut, {number}, DISP_E_MEMBERNOTFOUND, ~0u},
  };
  for (const Case& c : cases) {
    ScriptCall call;
    CallByName(object_, c.name, c.flags, c.arguments, &call);
    EXPECT_EQ(call.result, c.expected) << c.what;
    if (c.argumentError != ~0u) {
      EXPECT_EQ(call.argumentError, c.argumentError) << c.what;
    }
  }
  ScriptCall unknown;
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  EXPECT_EQ(object_->Invoke(7, IID_NULL, LOCALE_USER_DEFAULT, kMethod, &none, &unknown.value,
                            nullptr, nullptr),
            DISP_E_MEMBERNOTFOUND);  // DISPIDs 7 and 8 are not used
  EXPECT_EQ(DispIdOf(object_, u"NoSuchMember"), DISPID_UNKNOWN);
}

TEST_F(DispatchTest, AFailedOutputArrivesAsAnExceptionWithTheComponentsMessage) {
  ScriptCall save;
  CallByName(object_, u"SaveToFile", kMethod, {u"/no/such/folder/picture.jpg"}, &save);
  ASSERT_EQ(save.result, DISP_E_EXCEPTION);
  EXPECT_EQ(Text(save.exception.bstrSource), u"Glimmark");
  EXPECT_EQ(Text(save.exception.bstrDescription), u"Cannot save into the file");
  EXPECT_EQ(save.exception.scode, kOutputFailure);
}

TEST_F(DispatchTest, TypeInformationIsOneAndOutOfRangeIndexesAreRefusedFirst) {
  UINT count = 0;
  EXPECT_EQ(object_->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(object_->GetTypeInfoCount(nullptr), E_POINTER);
  EXPECT_EQ(object_->GetTypeInfo(1, LOCALE_USER_DEFAULT, nullptr), DISP_E_BADINDEX);
  EXPECT_EQ(object_->GetTypeInfo(0, LOCALE_USER_DEFAULT, nullptr), E_POINTER);
  ITypeInfo* info = nullptr;
  ASSERT_EQ(object_->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info), S_OK);
  TYPEATTR* attributes = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attributes), S_OK);
  EXPECT_TRUE(IsEqualGUID(attributes->guid, IID_IGlimmark));
  info->ReleaseTypeAttr(attributes);
  info->Release();
}

TEST_F(DispatchTest, NamesSpelledAsTheLibrarySpellsThemComeFromTheCache) {
  ASSERT_EQ(DispIdOf(object_, u"Send"), kDispIdSend);  // loads the holder
  const LONG before = GlimmarkTest_TypeInfoNameLookups();
  EXPECT_EQ(DispIdOf(object_, u"SetSize"), kDispIdSetSize);
  EXPECT_EQ(DispIdOf(object_, u"EncryptedText"), kDispIdEncryptedText);
  EXPECT_EQ(GlimmarkTest_TypeInfoNameLookups(), before)
      << "the cache answers without a lock or call";

  EXPECT_EQ(DispIdOf(object_, u"setsize"), kDispIdSetSize);  // other case: the type information
  EXPECT_EQ(GlimmarkTest_TypeInfoNameLookups(), before + 1);

  LPOLESTR names[] = {const_cast<LPOLESTR>(u"SetSize"), const_cast<LPOLESTR>(u"Height")};
  DISPID ids[2] = {};
  ASSERT_EQ(object_->GetIDsOfNames(IID_NULL, names, 2, LOCALE_USER_DEFAULT, ids), S_OK);
  EXPECT_EQ(ids[0], kDispIdSetSize);
  EXPECT_EQ(ids[1], 1);  // the parameter's position
  EXPECT_EQ(GlimmarkTest_TypeInfoNameLookups(), before + 2) << "two names bypass the cache";
}

// A holder whose interface the registered library lacks: GetTypeInfoOfGuid's
// failure comes back, nothing is kept (so the next call asks again and fails
// again), and the library goes back (the leak checker would see it).
TEST_F(DispatchTest, HolderOfAnInterfaceTheLibraryLacksKeepsNothing) {
  CComTypeInfoHolder holder = {&IID_IStream,
                               &LIBID_GlimmarkPrjLib,
                               kGlimmarkLibraryMajorVersion,
                               kGlimmarkLibraryMinorVersion,
                               kGlimmarkLibraryLocale,
                               nullptr,
                               nullptr,
                               0};
  for (int attempt = 0; attempt < 2; ++attempt) {
    EXPECT_EQ(holder.LoadTypeInfo(kGlimmarkLibraryLocale), TYPE_E_ELEMENTNOTFOUND) << attempt;
    EXPECT_EQ(holder.typeInfo, nullptr);
    EXPECT_EQ(holder.nameCache, nullptr);
    ITypeInfo* info = reinterpret_cast<ITypeInfo*>(0x1);
    EXPECT_EQ(holder.GetTypeInfo(0, kGlimmarkLibraryLocale, &info), TYPE_E_ELEMENTNOTFOUND);
    EXPECT_EQ(info, nullptr);
  }
}

TEST_F(DispatchTest, ObjectsMadeOneAfterAnotherShareOneLoadedLibrary) {
  const LONG before = GlimmarkTest_TypeLibraryLoads();
  ASSERT_EQ(DispIdOf(object_, u"Text"), kDispIdText);
  const LONG afterFirst = GlimmarkTest_TypeLibraryLoads();
  object_->Release();
  object_ = nullptr;
  ASSERT_EQ(CreateGlimmark(&object_), S_OK);
  ScriptCall call;
  CallByName(object_, u"SetSize", kMethod, {LONG{120}, LONG{40}}, &call);
  EXPECT_EQ(call.result, S_OK);
  EXPECT_LE(afterFirst - before, 1);
  EXPECT_EQ(GlimmarkTest_TypeLibraryLoads(), afterFirst);
}

class UnregisteredDispatchTest : public DispatchTest {
 protected:
  void SetUp() override {
    registered_ = false;
    DispatchTest::SetUp();
  }
};

TEST_F(UnregisteredDispatchTest,
       EveryCallButTheCountFailsAsTheRegistryLoaderDoesWhileTheVtableWorks) {
  if (GlimmarkTest_TypeLibraryLoads() > 0) {
    GTEST_SKIP() << "the type information is process-wide; this case needs a fresh process";
  }
  ITypeLib* library = nullptr;
  const HRESULT loader =
      LoadRegTypeLib(LIBID_GlimmarkPrjLib, kGlimmarkLibraryMajorVersion,
                     kGlimmarkLibraryMinorVersion, LOCALE_USER_DEFAULT, &library);
  ASSERT_TRUE(FAILED(loader));

  UINT count = 0;
  EXPECT_EQ(object_->GetTypeInfoCount(&count), S_OK);
  ITypeInfo* info = nullptr;
  EXPECT_EQ(object_->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info), loader);
  EXPECT_EQ(info, nullptr);
  HRESULT named = S_OK;
  DispIdOf(object_, u"SetSize", &named);
  EXPECT_EQ(named, loader);
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  EXPECT_EQ(object_->Invoke(kDispIdSend, IID_NULL, LOCALE_USER_DEFAULT, kMethod, &none, nullptr,
                            nullptr, nullptr),
            loader);
  EXPECT_EQ(object_->SetSize(120, 40), S_OK);
  EXPECT_EQ(Settings()->width, 120);

  // Registered afterwards, the next call loads it: a failed load is not kept.
  ASSERT_EQ(DllRegisterServer(), S_OK);
  EXPECT_EQ(DispIdOf(object_, u"SetSize"), kDispIdSetSize);
}

}  // namespace
