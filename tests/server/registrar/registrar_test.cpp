// The registrar: variables, expansion, the register / unregister / recovery
// walks and the failure table, against a fresh registry file per test.
#include <cstring>
#include <string>
#include <vector>

#include "server/registrar/reg_object.h"
#include "server/registrar/registry_script_expansion.h"
#include "server/registrar/registry_script_walker.h"
#include "server/registry_scripts.h"
#include "support/scratch_registry.h"

namespace {

using Bytes = std::vector<BYTE>;

class Registrar : public ScratchRegistry {
 protected:
  void TearDown() override {
    perUserRegistration = false;
    ScratchRegistry::TearDown();
  }
  HRESULT Register(const std::u16string& script) {
    return registrar_.ApplyScript(script.c_str(), TRUE);
  }
  HRESULT Unregister(const std::u16string& script) {
    return registrar_.ApplyScript(script.c_str(), FALSE);
  }
  static bool Exists(HKEY root, const char16_t* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
  }
  static void Make(HKEY root, const char16_t* path) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }
  // The value's bytes, or "missing" as a one-byte marker that no test expects.
  static Bytes Value(HKEY root, const char16_t* path, const char16_t* name, DWORD* type = nullptr) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return {0xEE};
    Bytes data(16384);
    DWORD size = static_cast<DWORD>(data.size());
    const LSTATUS status = RegQueryValueExW(key, name, nullptr, type, data.data(), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) return {0xEE};
    data.resize(size);
    return data;
  }
  static Bytes Text(const std::u16string& text) {
    const BYTE* bytes = reinterpret_cast<const BYTE*>(text.c_str());
    return Bytes(bytes, bytes + (text.size() + 1) * sizeof(char16_t));
  }
  static DWORD Subkeys(HKEY root, const char16_t* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return 999;
    DWORD count = 0;
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr,
                     nullptr, nullptr, nullptr);
    RegCloseKey(key);
    return count;
  }
  CRegObject registrar_;
};

constexpr const char16_t* kMachineClasses = u"Software\\Classes";

TEST_F(Registrar, QuotedTextKeepsOneQuoteOfEachPair) {
  ASSERT_EQ(Register(u"HKCR { a = s 'it''s' }"), S_OK);
  EXPECT_EQ(Value(HKEY_CLASSES_ROOT, u"a", nullptr), Text(u"it's"));
  EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, u"Software\\Classes\\a"));
}

TEST_F(Registrar, ExpandsPercentSignsAndVariablesWithoutRegardToCase) {
  ASSERT_EQ(registrar_.DefineVariable(u"Module", u"/opt/it''s.so"), S_OK);
  ASSERT_EQ(registrar_.DefineVariable(u"MODULE", u"second definition, never used"), S_OK);
  ASSERT_EQ(Register(u"HKCR { m = s '%Module%' { n = s '%MODULE%' } p = s '100%%' }"), S_OK);
  EXPECT_EQ(Value(HKEY_CLASSES_ROOT, u"m", nullptr), Text(u"/opt/it's.so"));
  EXPECT_EQ(Value(HKEY_CLASSES_ROOT, u"m\\n", nullptr), Text(u"/opt/it's.so"));
  EXPECT_EQ(Value(HKEY_CLASSES_ROOT, u"p", nullptr), Text(u"100%"));
}

TEST_F(Registrar, VariableFailures) {
  const std::u16string name31(31, u'v'), name32(32, u'v');
  ASSERT_EQ(registrar_.DefineVariable(name31.c_str(), u"ok"), S_OK);
  EXPECT_EQ(Register(u"HKCR { a = s '%" + name31 + u"%' }"), S_OK);
  EXPECT_EQ(Register(u"HKCR { a = s '%" + name32 + u"%' }"), E_FAIL);
  EXPECT_EQ(Register(u"HKCR { a = s '%Undefined%' }"), DISP_E_EXCEPTION);
  EXPECT_EQ(Register(u"HKCR { a = s '%Module' }"), DISP_E_EXCEPTION);
  EXPECT_EQ(registrar_.DefineVariable(nullptr, u"x"), E_INVALIDARG);
  EXPECT_EQ(registrar_.DefineVariable(u"x", nullptr), E_INVALIDARG);
  EXPECT_EQ(registrar_.ClearVariables(), S_OK);
  EXPECT_EQ(Register(u"HKCR { a = s '%" + name31 + u"%' }"), DISP_E_EXCEPTION);
}

TEST_F(Registrar, InterfaceSlotsAreNotCounted) {
  IRegistrarBase* base = &registrar_;
  void* out = &registrar_;
  const IID anyInterface = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
  EXPECT_EQ(base->QueryInterface(anyInterface, &out), E_NOTIMPL);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(base->AddRef(), 1u);
  EXPECT_EQ(base->Release(), 0u);
  EXPECT_EQ(registrar_.ApplyScript(nullptr, TRUE), E_INVALIDARG);
  EXPECT_EQ(Register(u""), S_OK);
  EXPECT_EQ(Register(u"\r\nHKCU { }\r\n\t "), S_OK);  // whitespace around a block is fine
}

TEST_F(Registrar, PerUserRegistrationGoesBeneathTheUsersClasses) {
  perUserRegistration = true;
  Make(HKEY_CURRENT_USER, u"Software\\Classes\\Other");
  ASSERT_EQ(Register(u"HKCR { x { } }"), S_OK);
  EXPECT_TRUE(Exists(HKEY_CURRENT_USER, u"Software\\Classes\\x"));
  EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, u"Software\\Classes\\x"));
  ASSERT_EQ(Unregister(u"HKCR { x { } }"), S_OK);
  EXPECT_FALSE(Exists(HKEY_CURRENT_USER, u"Software\\Classes\\x"));
  EXPECT_TRUE(Exists(HKEY_CURRENT_USER, u"Software\\Classes\\Other"));
  // Nothing else shares the path: Classes and Software become empty and go.
  ASSERT_EQ(Unregister(u"HKCR { Other }"), S_OK);
  EXPECT_FALSE(Exists(HKEY_CURRENT_USER, u"Software"));
}

TEST_F(Registrar, PerUserRewriteText) {
  RegistryVariableTable none;
  ScriptString expanded;
  ASSERT_EQ(
      ExpandRegistryScript(u"HKCR { a = s '}' } HKLM { HKCR } HKCR { }", none, true, &expanded),
      S_OK);
  EXPECT_EQ(expanded,
            u"HKCU\r\n{\tSoftware\r\n\t{\r\n\t\tClasses { a = s '}' \r\n\t}\r\n}\r\n} "
            u"HKLM { HKCR } HKCU\r\n{\tSoftware\r\n\t{\r\n\t\tClasses { \r\n\t}\r\n}\r\n}");
  ASSERT_EQ(ExpandRegistryScript(u"HKCR { }", none, false, &expanded), S_OK);
  EXPECT_EQ(expanded, u"HKCR { }");
}

TEST_F(Registrar, ForceRemoveSparesProtectedKeysAndRemakesPlainOnes) {
  Make(HKEY_CLASSES_ROOT, u"CLSID\\Keep");
  Make(HKEY_CLASSES_ROOT, u"x\\old\\deeper");
  ASSERT_EQ(Register(u"HKCR { ForceRemove CLSID { } forceremove x }"), S_OK);
  EXPECT_TRUE(Exists(HKEY_CLASSES_ROOT, u"CLSID\\Keep"));
  EXPECT_TRUE(Exists(HKEY_CLASSES_ROOT, u"x"));
  EXPECT_EQ(Subkeys(HKEY_CLASSES_ROOT, u"x"), 0u);
}

TEST_F(Registrar, DeleteRemovesATreeAndDoesNotMakeItAgain) {
  Make(HKEY_CLASSES_ROOT, u"gone\\sub");
  Make(HKEY_CLASSES_ROOT, u"TypeLib\\Keep");
  ASSERT_EQ(Register(u"HKCR { Delete gone = s 'ignored' DELETE TypeLib kept }"), S_OK);
  EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, u"gone"));
  EXPECT_TRUE(Exists(HKEY_CLASSES_ROOT, u"TypeLib\\Keep"));
  EXPECT_TRUE(Exists(HKEY_CLASSES_ROOT, u"kept"));
  // A block after Delete or Val has no meaning and is refused.
  EXPECT_EQ(Register(u"HKCR { Delete gone { } }"), DISP_E_EXCEPTION);
  EXPECT_EQ(Register(u"HKCR { k { val v = s 'x' { } } }"), DISP_E_EXCEPTION);
  EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, u"{"));
}

TEST_F(Registrar, NoRemoveKeepsAKeyEvenWhenItBecomesEmpty) {
  ASSERT_EQ(Register(u"HKCR { NoRemove CLSID { y { Val v = s 'w' } } }"), S_OK);
  ASSERT_EQ(Unregister(u"HKCR { NoRemove CLSID { y { NoRemove val v = s 'w' } } }"), S_OK);
  EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, u"CLSID\\y"));
  EXPECT_TRUE(Exists(HKEY_CLASSES_ROOT, u"CLSID"));

  // Without NoRemove an emptied key goes, one with other subkeys stays.
  ASSERT_EQ(Register(u"HKCR { CLSID { y } }"), S_OK);
  Make(HKEY_CLASSES_ROOT, u"CLSID\\z");
  ASSERT_EQ(Unregister(u"HKCR { CLSID { y } }"), S_OK);
  EXPECT_TRUE(Exists(HKEY_CLASSES_ROOT, u"CLSID\\z"));
  ASSERT_EQ(Unregister(u"HKCR { CLSID { z } }"), S_OK);
  EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, u"CLSID"));
}

TEST_F(Registrar, NoRemoveKeepsANamedValue) {
  ASSERT_EQ(Register(u"HKCU { k { val a = s '1' val b = s '2' } }"), S_OK);
  Make(HKEY_CURRENT_USER, u"k\\pin");  // keeps k itself
  ASSERT_EQ(Unregister(u"HKCU { k { NoRemove val a = s '1' val b = s '2' } }"), S_OK);
  EXPECT_EQ(Value(HKEY_CURRENT_USER, u"k", u"a"), Text(u"1"));
  EXPECT_EQ(Value(HKEY_CURRENT_USER, u"k", u"b"), Bytes{0xEE});
}

TEST_F(Registrar, UnregisteringWhatIsGoneChangesNothing) {
  Make(HKEY_CLASSES_ROOT, u"Unrelated");
  ASSERT_EQ(Unregister(u"HKCR { gone { deeper = s 'x' { val v = d 1 } } NoRemove CLSID { a } }"),
            S_OK);
  EXPECT_TRUE(Exists(HKEY_CLASSES_ROOT, u"Unrelated"));
  EXPECT_EQ(Subkeys(HKEY_LOCAL_MACHINE, kMachineClasses), 1u);
}

TEST_F(Registrar, WritesTheFourValueTypes) {
  ASSERT_EQ(Register(u"HKCR { a = b '0102FF' { val odd = B '0g' val none = b '' } "
                     u"val v = m 'one\\0two' val d = D '4294967295' val s = S x }"),
            S_OK);
  DWORD type = 0;
  EXPECT_EQ(Value(HKEY_CLASSES_ROOT, u"a", nullptr, &type), Bytes({0x01, 0x02, 0xFF}));
  EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
  EXPECT_EQ(Value(HKEY_CLASSES_ROOT, u"a", u"odd"), Bytes{0x00});
  EXPECT_EQ(Value(HKEY_CLASSES_ROOT, u"a", u"none"), Bytes{});
  const char16_t multi[] = u"one\0two\0";
  const BYTE* multiBytes = reinterpret_cast<const BYTE*>(multi);
  EXPECT_EQ(Value(HKEY_CLASSES_ROOT, u"", u"v", &type), Bytes(multiBytes, multiBytes + 18));
  EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
  EXPECT_EQ(Value(HKEY_CLASSES_ROOT, u"", u"d", &type), Bytes({0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(Value(HKEY_CLASSES_ROOT, u"", u"s"), Text(u"x"));
}

TEST_F(Registrar, AnEmptyStringEndsAMultiStringList) {
  ASSERT_EQ(Register(u"HKCU { val v = m 'a\\0\\0b' val e = m '' }"), S_OK);
  EXPECT_EQ(Value(HKEY_CURRENT_USER, u"", u"v"), Bytes({'a', 0, 0, 0, 0, 0}));
  EXPECT_EQ(Value(HKEY_CURRENT_USER, u"", u"e"), Bytes({0, 0}));
}

TEST_F(Registrar, RejectedNumbersAndOddBinaryDigitsWriteNothing) {
  EXPECT_EQ(Register(u"HKCR { a = b '012' }"), E_FAIL);
  EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, u"a"));
  EXPECT_EQ(Register(u"HKCR { a = d 'twelve' }"), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Register(u"HKCR { a = d '4294967296' }"), DISP_E_OVERFLOW);
  EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, u"a"));
}

struct FailingScript {
  const char16_t* script;
  HRESULT expected;
};

TEST_F(Registrar, SyntaxErrorsAndFailuresOfTheTable) {
  const FailingScript cases[] = {
      {u"HKCR {", DISP_E_EXCEPTION},                             // end where a token is needed
      {u" \r\n\t ", DISP_E_EXCEPTION},                           // only whitespace: no root key
      {u"HKCR { a = s 'open }", DISP_E_EXCEPTION},               // unterminated quoted token
      {u"HKXX { }", DISP_E_EXCEPTION},                           // root outside the table
      {u"HKCR a }", DISP_E_EXCEPTION},                           // no "{" after the root
      {u"HKCR { a\\b }", DISP_E_EXCEPTION},                      // backslash in a key name
      {u"HKCR { ForceRemove a\\b }", DISP_E_EXCEPTION},          // also after ForceRemove
      {u"HKCR { val v s 'x' }", DISP_E_EXCEPTION},               // no "=" after a Val name
      {u"HKCR { a = x 'y' }", DISP_E_EXCEPTION},                 // type letter outside the table
      {u"HKCR { a = sz 'y' }", DISP_E_EXCEPTION},                // a type is one letter
      {u"HKCR { a", DISP_E_EXCEPTION},                           // end inside an entry
      {u"HKCR { a = b '0' }", E_FAIL},                           // odd binary digits
      {u"HKPD { a }", HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED)},  // a failing registry call
      {u"HKEY_DYN_DATA { a }", HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED)},
  };
  for (const FailingScript& failing : cases) {
    EXPECT_EQ(Register(failing.script), failing.expected) << std::string(
        failing.script, failing.script + std::char_traits<char16_t>::length(failing.script));
  }
  EXPECT_EQ(Unregister(u" \t"), DISP_E_EXCEPTION);
  const std::u16string longName(256, u'n');
  EXPECT_EQ(Register(u"HKCU { " + longName + u" }"), HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(Subkeys(HKEY_LOCAL_MACHINE, kMachineClasses), 0u);  // every failure cleaned up
}

TEST_F(Registrar, TokensHoldAtMost4094Units) {
  const std::u16string longest(kMaxTokenUnits, u'x');
  ASSERT_EQ(Register(u"HKCU { val v = s '" + longest + u"' }"), S_OK);
  EXPECT_EQ(Value(HKEY_CURRENT_USER, u"", u"v").size(), (kMaxTokenUnits + 1) * 2);
  EXPECT_EQ(Register(u"HKCU { val w = s " + longest + u"x }"), DISP_E_EXCEPTION);
}

TEST_F(Registrar, NestingIsBoundedInsteadOfExhaustingTheStack) {
  auto nested = [](size_t depth) {
    std::u16string script = u"HKCU ";
    for (size_t i = 0; i < depth; ++i) script += u"{ k ";
    for (size_t i = 0; i < depth; ++i) script += u"} ";
    return script;
  };
  // kMaxScriptBlockDepth blocks: the root block and 63 key blocks.
  EXPECT_EQ(Register(nested(kMaxScriptBlockDepth)), S_OK);
  EXPECT_EQ(Unregister(nested(kMaxScriptBlockDepth)), S_OK);
  EXPECT_FALSE(Exists(HKEY_CURRENT_USER, u"k"));
  EXPECT_EQ(Register(nested(kMaxScriptBlockDepth + 1)), DISP_E_EXCEPTION);
  EXPECT_EQ(Unregister(nested(kMaxScriptBlockDepth + 1)), DISP_E_EXCEPTION);
  EXPECT_EQ(Register(nested(200000)), DISP_E_EXCEPTION);
}

TEST_F(Registrar, AFailedRootBlockIsRemovedWhileEarlierBlocksStay) {
  Make(HKEY_CLASSES_ROOT, u"second\\Old");  // not made by the script: stays
  Make(HKEY_CLASSES_ROOT, u"emptied");      // empty: the unregister walk removes it
  const HRESULT hr = Register(
      u"HKCR { first = s 'kept' } "
      u"HKCR { second { inner = s 'v' } emptied third = b '012' } "
      u"HKCR { never }");
  EXPECT_EQ(hr, E_FAIL);
  EXPECT_EQ(Value(HKEY_CLASSES_ROOT, u"first", nullptr), Text(u"kept"));
  EXPECT_TRUE(Exists(HKEY_CLASSES_ROOT, u"second\\Old"));
  EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, u"second\\inner"));
  EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, u"emptied"));
  EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, u"third"));
  EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, u"never"));
}

TEST_F(Registrar, KeywordsAndRootNamesIgnoreCase) {
  ASSERT_EQ(Register(u"hkey_current_user { FORCEREMOVE a { VAL v = s 'x' } } hkcu { b }"), S_OK);
  EXPECT_EQ(Value(HKEY_CURRENT_USER, u"a", u"v"), Text(u"x"));
  EXPECT_TRUE(Exists(HKEY_CURRENT_USER, u"b"));
}

constexpr const char16_t* kClassKey = u"CLSID\\{0F29AA7F-55FD-4FF4-B18E-5A333AA8235A}";

TEST_F(Registrar, ClassScriptRoundTrip) {
  // The path as registration defines it: single quotes doubled.
  ASSERT_EQ(registrar_.DefineVariable(u"Module", u"/opt/o''brien/libglimmark.so"), S_OK);
  Make(HKEY_CLASSES_ROOT, u"CLSID\\{0F29AA7F-55FD-4FF4-B18E-5A333AA8235A}\\Stale");
  Make(HKEY_CLASSES_ROOT, u"CLSID\\{00000000-0000-0000-0000-000000000001}");
  ASSERT_EQ(Register(kRegistryScript_glimmark), S_OK);
  const std::u16string clsidKey = kClassKey;
  EXPECT_EQ(Value(HKEY_CLASSES_ROOT, u"tolvek.Glimmark", nullptr), Text(u"Glimmark Class"));
  EXPECT_EQ(Value(HKEY_CLASSES_ROOT, u"tolvek.Glimmark\\CLSID", nullptr),
            Text(u"{0F29AA7F-55FD-4FF4-B18E-5A333AA8235A}"));
  EXPECT_EQ(Value(HKEY_CLASSES_ROOT, kClassKey, nullptr), Text(u"Glimmark Class"));
  EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, (clsidKey + u"\\Stale").c_str()));
  EXPECT_TRUE(Exists(HKEY_CLASSES_ROOT, (clsidKey + u"\\Programmable").c_str()));
  EXPECT_EQ(Value(HKEY_CLASSES_ROOT, (clsidKey + u"\\InprocServer32").c_str(), nullptr),
            Text(u"/opt/o'brien/libglimmark.so"));
  EXPECT_EQ(Value(HKEY_CLASSES_ROOT, (clsidKey + u"\\InprocServer32").c_str(), u"ThreadingModel"),
            Text(u"Apartment"));
  EXPECT_EQ(Value(HKEY_CLASSES_ROOT, (clsidKey + u"\\Version").c_str(), nullptr), Text(u"1.0"));
  EXPECT_EQ(Subkeys(HKEY_CLASSES_ROOT, kClassKey), 4u);

  ASSERT_EQ(Unregister(kRegistryScript_glimmark), S_OK);
  EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, u"tolvek.Glimmark"));
  EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, kClassKey));
  EXPECT_EQ(Subkeys(HKEY_CLASSES_ROOT, u"CLSID"), 1u);  // the shared key and its other class
}

}  // namespace
