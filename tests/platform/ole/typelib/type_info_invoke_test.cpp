// ITypeInfo::Invoke and GetIDsOfNames over the probe library: each argument
// kind and coercion, argument counts, named arguments, references, results,
// and failures turned into DISP_E_EXCEPTION.
#include <gtest/gtest.h>
#include <oleauto.h>

#include <vector>

#include "platform/ole/typelib/typelib_test_support.h"
#include "testing/typelib_probe.h"

namespace {

class ProbeInvoke : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(LoadTypeLib(Utf16(TYPELIB_PROBE_PATH).c_str(), library_.out()), S_OK);
    ASSERT_EQ(library_->GetTypeInfoOfGuid(kIidTypelibProbe, info_.out()), S_OK);
  }

  // Invokes `id` with `arguments` given left to right (stored right to left).
  HRESULT Call(DISPID id, WORD flags, std::vector<VARIANT> arguments,
               std::vector<DISPID> named = {}) {
    std::vector<VARIANT> reversed(arguments.rbegin(), arguments.rend());
    DISPPARAMS params{reversed.data(), named.data(), static_cast<UINT>(reversed.size()),
                      static_cast<UINT>(named.size())};
    VariantClear(&result_);
    argumentError_ = 12345;
    return info_->Invoke(static_cast<ITypelibProbe*>(&probe_), id, flags, &params, &result_,
                         &exception_, &argumentError_);
  }

  void TearDown() override {
    VariantClear(&result_);
    SysFreeString(exception_.bstrSource);
    SysFreeString(exception_.bstrDescription);
  }

  static VARIANT Long(LONG value) {
    VARIANT v{};
    v.vt = VT_I4;
    v.lVal = value;
    return v;
  }
  static VARIANT Double(double value) {
    VARIANT v{};
    v.vt = VT_R8;
    v.dblVal = value;
    return v;
  }
  VARIANT Text(const char16_t* text) {
    VARIANT v{};
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(text);
    strings_.push_back(v.bstrVal);
    return v;
  }

  Held<ITypeLib> library_;
  Held<ITypeInfo> info_;
  ProbeObject probe_;
  VARIANT result_{};
  EXCEPINFO exception_{};
  UINT argumentError_ = 0;
  std::vector<BSTR> strings_;

 public:
  ~ProbeInvoke() override {
    for (BSTR text : strings_) SysFreeString(text);
  }
};

TEST_F(ProbeInvoke, LongArgumentsAndRetval) {
  ASSERT_EQ(Call(1, DISPATCH_METHOD, {Long(40), Long(2)}), S_OK);
  EXPECT_EQ(result_.vt, VT_I4);
  EXPECT_EQ(result_.lVal, 42);
  // Right to left: the first argument is the last entry of rgvarg.
  ASSERT_EQ(Call(1, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {Long(-7), Long(100)}), S_OK);
  EXPECT_EQ(result_.lVal, 93);
}

TEST_F(ProbeInvoke, CoercionOfEachArgumentKind) {
  ASSERT_EQ(Call(1, DISPATCH_METHOD, {Text(u"40"), Double(2.0)}), S_OK);
  EXPECT_EQ(result_.lVal, 42);
  ASSERT_EQ(Call(2, DISPATCH_METHOD, {Text(u"ab"), Long(12)}), S_OK);
  ASSERT_EQ(result_.vt, VT_BSTR);
  EXPECT_EQ(std::u16string(result_.bstrVal), u"ab12");
  ASSERT_EQ(Call(4, DISPATCH_METHOD, {Long(3), Double(0.5)}), S_OK);
  ASSERT_EQ(result_.vt, VT_R8);
  EXPECT_EQ(result_.dblVal, 1.5);
  VARIANT flag{};
  flag.vt = VT_BOOL;
  flag.boolVal = VARIANT_TRUE;
  ASSERT_EQ(Call(7, DISPATCH_METHOD, {Long(0x00FF8000), flag}), S_OK);  // OLE_COLOR is VT_UI4
  EXPECT_EQ(probe_.lastColor, 0x00FF8000u);
  EXPECT_EQ(probe_.lastFlag, VARIANT_TRUE);
  // A negative long does not fit the unsigned colour, as with oleaut32's coercion.
  EXPECT_EQ(Call(7, DISPATCH_METHOD, {Long(-16777216), flag}), DISP_E_OVERFLOW);
  EXPECT_EQ(argumentError_, 1u);
}

TEST_F(ProbeInvoke, TypeMismatchNamesTheArgument) {
  EXPECT_EQ(Call(1, DISPATCH_METHOD, {Long(1), Text(u"not a number")}), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(argumentError_, 0u);  // the second argument sits first in rgvarg
  EXPECT_EQ(Call(1, DISPATCH_METHOD, {Text(u"x"), Long(1)}), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(argumentError_, 1u);
}

TEST_F(ProbeInvoke, CountsAndKinds) {
  struct Case {
    DISPID id;
    WORD flags;
    size_t arguments;
    HRESULT expected;
  };
  const Case cases[] = {
      {1, DISPATCH_METHOD, 1, DISP_E_BADPARAMCOUNT},
      {1, DISPATCH_METHOD, 3, DISP_E_BADPARAMCOUNT},
      {1, DISPATCH_PROPERTYPUT, 2, DISP_E_MEMBERNOTFOUND},
      {99, DISPATCH_METHOD, 0, DISP_E_MEMBERNOTFOUND},
      {3, DISPATCH_METHOD, 0, DISP_E_MEMBERNOTFOUND},
      {0x6002000B, DISPATCH_METHOD, 0, S_OK},  // Reset: an automatic id
  };
  for (const Case& c : cases) {
    std::vector<VARIANT> arguments(c.arguments, Long(1));
    EXPECT_EQ(Call(c.id, c.flags, arguments), c.expected) << c.id << " " << c.arguments;
  }
  EXPECT_EQ(probe_.resets, 1);
}

TEST_F(ProbeInvoke, MissingRequiredArgumentIsNotOptional) {
  VARIANT missing{};
  missing.vt = VT_ERROR;
  missing.scode = DISP_E_PARAMNOTFOUND;
  EXPECT_EQ(Call(1, DISPATCH_METHOD, {Long(1), missing}), DISP_E_PARAMNOTOPTIONAL);
}

TEST_F(ProbeInvoke, PropertyPutAndGet) {
  const DISPID put = DISPID_PROPERTYPUT;
  ASSERT_EQ(Call(3, DISPATCH_PROPERTYPUT, {Text(u"Probe")}, {put}), S_OK);
  EXPECT_EQ(result_.vt, VT_EMPTY);
  ASSERT_EQ(Call(3, DISPATCH_PROPERTYGET, {}), S_OK);
  ASSERT_EQ(result_.vt, VT_BSTR);
  EXPECT_EQ(std::u16string(result_.bstrVal), u"Probe");
  // The value must be the DISPID_PROPERTYPUT argument of a put.
  EXPECT_EQ(Call(3, DISPATCH_PROPERTYGET, {Text(u"x")}, {put}), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(Call(1, DISPATCH_METHOD, {Long(1), Long(2)}, {put}), DISP_E_PARAMNOTFOUND);
  EXPECT_EQ(Call(3, DISPATCH_PROPERTYPUT, {Text(u"x")}, {0}), DISP_E_NONAMEDARGS);
}

TEST_F(ProbeInvoke, ARetvalTheCalleeLeavesUnwrittenIsANullValue) {
  // Calls before it leave their values in the memory Invoke works in.
  for (int i = 0; i < 3; ++i) ASSERT_EQ(Call(2, DISPATCH_METHOD, {Text(u"a"), Text(u"b")}), S_OK);
  probe_.leaveNameUnwritten = true;
  ASSERT_EQ(Call(3, DISPATCH_PROPERTYGET, {}), S_OK);
  ASSERT_EQ(result_.vt, VT_BSTR);
  EXPECT_EQ(result_.bstrVal, nullptr);  // not whatever the memory held (freed by TearDown)
}

TEST_F(ProbeInvoke, NamedArgumentsByPosition) {
  // Right = 5 named, Left = 1 named: named arguments come first in rgvarg.
  ASSERT_EQ(Call(1, DISPATCH_METHOD, {Long(1), Long(5)}, {0, 1}), S_OK);
  EXPECT_EQ(result_.lVal, 6);
  EXPECT_EQ(Call(1, DISPATCH_METHOD, {Long(1), Long(5)}, {0, 0}), DISP_E_PARAMNOTFOUND);
  EXPECT_EQ(Call(1, DISPATCH_METHOD, {Long(1), Long(5)}, {0, 7}), DISP_E_PARAMNOTFOUND);
}

TEST_F(ProbeInvoke, VariantsByValueAndReferences) {
  ASSERT_EQ(Call(5, DISPATCH_METHOD, {Text(u"copy me")}), S_OK);
  ASSERT_EQ(result_.vt, VT_BSTR);
  EXPECT_EQ(std::u16string(result_.bstrVal), u"copy me");
  LONG counter = 41;
  VARIANT reference{};
  reference.vt = VT_BYREF | VT_I4;
  reference.plVal = &counter;
  ASSERT_EQ(Call(9, DISPATCH_METHOD, {reference}), S_OK);
  EXPECT_EQ(counter, 42);
  VARIANT byValue = Long(1);
  EXPECT_EQ(Call(9, DISPATCH_METHOD, {byValue}), DISP_E_TYPEMISMATCH);
  // A by-reference argument to a by-value parameter is read through.
  ASSERT_EQ(Call(1, DISPATCH_METHOD, {reference, Long(0)}), S_OK);
  EXPECT_EQ(result_.lVal, 42);
}

TEST_F(ProbeInvoke, InterfaceArguments) {
  VARIANT unknown{};
  unknown.vt = VT_UNKNOWN;
  unknown.punkVal = static_cast<ITypelibProbe*>(&probe_);
  ASSERT_EQ(Call(8, DISPATCH_METHOD, {unknown}), S_OK);
  EXPECT_EQ(probe_.lastUnknown, unknown.punkVal);
  EXPECT_EQ(probe_.references, 1u);
}

// Ten arguments: six in registers, a double in a vector register, a VARIANT
// and the rest on the stack.
TEST_F(ProbeInvoke, ArgumentsBeyondTheRegisters) {
  VARIANT h = Long(10);
  ASSERT_EQ(Call(10, DISPATCH_METHOD,
                 {Long(1), Long(2), Long(3), Long(4), Long(5), Long(6), Double(1.0), h, Long(11)}),
            S_OK);
  EXPECT_EQ(result_.lVal, 1 + 4 + 9 + 16 + 25 + 36 + 7 + 80 + 99);
}

TEST_F(ProbeInvoke, FailureBecomesExceptionWithErrorInfo) {
  ASSERT_EQ(Call(6, DISPATCH_METHOD, {Long(static_cast<LONG>(0x80040100))}), DISP_E_EXCEPTION);
  EXPECT_EQ(exception_.scode, static_cast<SCODE>(0x80040100));
  EXPECT_EQ(std::u16string(exception_.bstrSource), u"Probe");
  EXPECT_EQ(std::u16string(exception_.bstrDescription), u"It failed on purpose");
}

TEST_F(ProbeInvoke, NullPointersAreRefused) {
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  EXPECT_EQ(info_->Invoke(nullptr, 1, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
            E_INVALIDARG);
  EXPECT_EQ(info_->Invoke(static_cast<ITypelibProbe*>(&probe_), 1, DISPATCH_METHOD, nullptr,
                          nullptr, nullptr, nullptr),
            E_INVALIDARG);
  DISPPARAMS lying{nullptr, nullptr, 2, 0};
  EXPECT_EQ(info_->Invoke(static_cast<ITypelibProbe*>(&probe_), 1, DISPATCH_METHOD, &lying, nullptr,
                          nullptr, nullptr),
            E_INVALIDARG);
  // No result variant and no error slots: the call still runs.
  DISPPARAMS empty{nullptr, nullptr, 0, 0};
  EXPECT_EQ(info_->Invoke(static_cast<ITypelibProbe*>(&probe_), 0x6002000B, DISPATCH_METHOD, &empty,
                          nullptr, nullptr, nullptr),
            S_OK);
}

TEST_F(ProbeInvoke, GetIDsOfNamesIgnoresCaseAndNamesParameters) {
  struct Case {
    std::vector<const char16_t*> names;
    HRESULT expected;
    std::vector<DISPID> ids;
  };
  const Case cases[] = {
      {{u"Add"}, S_OK, {1}},
      {{u"aDD"}, S_OK, {1}},
      {{u"NAME"}, S_OK, {3}},
      {{u"Add", u"right", u"Left"}, S_OK, {1, 1, 0}},
      // The [retval] parameter is the result, not an argument that has a name.
      {{u"Add", u"Sum"}, DISP_E_UNKNOWNNAME, {1, DISPID_UNKNOWN}},
      {{u"Add", u"Nothing"}, DISP_E_UNKNOWNNAME, {1, DISPID_UNKNOWN}},
      {{u"Missing"}, DISP_E_UNKNOWNNAME, {DISPID_UNKNOWN}},
      {{u"Invoke"}, S_OK, {0x60010003}},
  };
  for (const Case& c : cases) {
    std::vector<DISPID> ids(c.names.size(), 77);
    EXPECT_EQ(info_->GetIDsOfNames(const_cast<LPOLESTR*>(c.names.data()),
                                   static_cast<UINT>(c.names.size()), ids.data()),
              c.expected);
    EXPECT_EQ(ids, c.ids);
  }
}

}  // namespace
