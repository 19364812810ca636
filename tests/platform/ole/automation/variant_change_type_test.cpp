#include <gtest/gtest.h>
#include <oleauto.h>

#include <cmath>
#include <limits>
#include <string>

#include "testing/counted_dispatch.h"

namespace {

VARIANT Double(double value) {
  VARIANT v;
  v.vt = VT_R8;
  v.dblVal = value;
  return v;
}

VARIANT Long(LONG value) {
  VARIANT v;
  v.vt = VT_I4;
  v.lVal = value;
  return v;
}

VARIANT Text(const char16_t* text) {
  VARIANT v;
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocString(text);
  return v;
}

// Converts `source` to `vt`; the result variant must be cleared by the caller.
HRESULT Change(const VARIANT& source, VARTYPE vt, VARIANT* out, USHORT flags = 0) {
  VariantInit(out);
  return VariantChangeType(out, &source, flags, vt);
}

std::u16string AsText(const VARIANT& source, USHORT flags = 0) {
  VARIANT out;
  EXPECT_EQ(Change(source, VT_BSTR, &out, flags), S_OK);
  std::u16string text(out.bstrVal, SysStringLen(out.bstrVal));
  VariantClear(&out);
  return text;
}

TEST(VariantChangeType, DoubleToLongRoundsHalfToEvenAndChecksRange) {
  const struct {
    double in;
    HRESULT hr;
    LONG out;
  } cases[] = {
      {2.5, S_OK, 2},
      {3.5, S_OK, 4},
      {-2.5, S_OK, -2},
      {-0.5, S_OK, 0},
      {2.4999999, S_OK, 2},
      {2147483647.49, S_OK, 2147483647},
      {2147483647.5, DISP_E_OVERFLOW, 0},
      {-2147483648.5, S_OK, -2147483647 - 1},
      {-2147483648.51, DISP_E_OVERFLOW, 0},
      {std::nan(""), DISP_E_OVERFLOW, 0},
      {std::numeric_limits<double>::infinity(), DISP_E_OVERFLOW, 0},
  };
  for (const auto& c : cases) {
    VARIANT out;
    EXPECT_EQ(Change(Double(c.in), VT_I4, &out), c.hr) << c.in;
    if (c.hr == S_OK) {
      EXPECT_EQ(out.vt, VT_I4);
      EXPECT_EQ(out.lVal, c.out) << c.in;
    } else {
      EXPECT_EQ(out.vt, VT_EMPTY);  // untouched on failure
    }
  }
}

TEST(VariantChangeType, IntegerRangeEdges) {
  VARIANT out;
  EXPECT_EQ(Change(Long(255), VT_UI1, &out), S_OK);
  EXPECT_EQ(out.bVal, 255);
  EXPECT_EQ(Change(Long(256), VT_UI1, &out), DISP_E_OVERFLOW);
  EXPECT_EQ(Change(Long(-1), VT_UI4, &out), DISP_E_OVERFLOW);
  EXPECT_EQ(Change(Long(-128), VT_I1, &out), S_OK);
  EXPECT_EQ(out.cVal, -128);
  EXPECT_EQ(Change(Long(-129), VT_I1, &out), DISP_E_OVERFLOW);
  EXPECT_EQ(Change(Long(32768), VT_I2, &out), DISP_E_OVERFLOW);
  VARIANT big;
  big.vt = VT_UI4;
  big.ulVal = 0x80000000u;
  EXPECT_EQ(Change(big, VT_I4, &out), DISP_E_OVERFLOW);
  EXPECT_EQ(Change(Double(3.5e38), VT_R4, &out), DISP_E_OVERFLOW);
  EXPECT_EQ(Change(Double(-1.5), VT_R4, &out), S_OK);
  EXPECT_EQ(out.fltVal, -1.5f);
}

TEST(VariantChangeType, BooleansAreMinusOneAndZero) {
  VARIANT out;
  EXPECT_EQ(Change(Long(7), VT_BOOL, &out), S_OK);
  EXPECT_EQ(out.boolVal, VARIANT_TRUE);
  EXPECT_EQ(Change(Double(0.0), VT_BOOL, &out), S_OK);
  EXPECT_EQ(out.boolVal, VARIANT_FALSE);
  VARIANT truth;
  truth.vt = VT_BOOL;
  truth.boolVal = VARIANT_TRUE;
  EXPECT_EQ(Change(truth, VT_I4, &out), S_OK);
  EXPECT_EQ(out.lVal, -1);
  EXPECT_EQ(Change(truth, VT_UI1, &out), S_OK);  // keeps the bit pattern, as Windows does
  EXPECT_EQ(out.bVal, 255);
  EXPECT_EQ(AsText(truth), u"-1");
  EXPECT_EQ(AsText(truth, VARIANT_ALPHABOOL), u"True");
  VARIANT text = Text(u" false ");
  EXPECT_EQ(Change(text, VT_BOOL, &out), S_OK);
  EXPECT_EQ(out.boolVal, VARIANT_FALSE);
  VariantClear(&text);
}

TEST(VariantChangeType, NumbersToTextAsWindowsWritesThem) {
  EXPECT_EQ(AsText(Long(-2147483647 - 1)), u"-2147483648");
  EXPECT_EQ(AsText(Double(0.1)), u"0.1");
  EXPECT_EQ(AsText(Double(-12.75)), u"-12.75");
  EXPECT_EQ(AsText(Double(1.0 / 3.0)), u"0.333333333333333");
  EXPECT_EQ(AsText(Double(1e20)), u"1E+20");
  EXPECT_EQ(AsText(Double(-0.0)), u"0");
  VARIANT single;
  single.vt = VT_R4;
  single.fltVal = 3.1f;
  EXPECT_EQ(AsText(single), u"3.1");
  VARIANT empty;
  VariantInit(&empty);
  VARIANT out;
  ASSERT_EQ(Change(empty, VT_BSTR, &out), S_OK);
  EXPECT_NE(out.bstrVal, nullptr);
  EXPECT_EQ(SysStringLen(out.bstrVal), 0u);
  VariantClear(&out);
  EXPECT_EQ(Change(empty, VT_I4, &out), S_OK);
  EXPECT_EQ(out.lVal, 0);
}

TEST(VariantChangeType, TextToNumbers) {
  VARIANT out;
  const struct {
    const char16_t* text;
    VARTYPE vt;
    HRESULT hr;
  } cases[] = {
      {u"  -42 ", VT_I4, S_OK},
      {u"+7", VT_UI1, S_OK},
      {u"4294967295", VT_UI4, S_OK},
      {u"4294967296", VT_UI4, DISP_E_OVERFLOW},
      {u"-1", VT_UI4, DISP_E_OVERFLOW},
      {u"12abc", VT_I4, DISP_E_TYPEMISMATCH},
      {u"", VT_I4, DISP_E_TYPEMISMATCH},
      {u"1 2", VT_I4, DISP_E_TYPEMISMATCH},
      {u"1e3", VT_I2, S_OK},
      {u"1e5", VT_I2, DISP_E_OVERFLOW},
      {u"&HFFFF", VT_I2, S_OK},
      {u"1e400", VT_R8, DISP_E_OVERFLOW},
  };
  for (const auto& c : cases) {
    VARIANT text = Text(c.text);
    EXPECT_EQ(Change(text, c.vt, &out), c.hr) << std::string(c.text, c.text + 1);
    VariantClear(&text);
  }
  VARIANT text = Text(u"&HFFFF");
  ASSERT_EQ(Change(text, VT_I2, &out), S_OK);
  EXPECT_EQ(out.iVal, -1);
  VariantClear(&text);
}

TEST(VariantChangeType, RoundTripsThroughText) {
  for (LONG value : {0, 1, -1, 97, 2147483647, -2147483647 - 1}) {
    VARIANT text;
    VariantInit(&text);
    VARIANT number = Long(value);
    ASSERT_EQ(VariantChangeType(&text, &number, 0, VT_BSTR), S_OK);
    VARIANT back;
    ASSERT_EQ(Change(text, VT_I4, &back), S_OK);
    EXPECT_EQ(back.lVal, value);
    VariantClear(&text);
  }
  for (double value : {0.1, -2.5, 123456.789, 1e-7, 9.87654321e300}) {
    VARIANT text;
    ASSERT_EQ(Change(Double(value), VT_BSTR, &text), S_OK);
    VARIANT back;
    ASSERT_EQ(Change(text, VT_R8, &back), S_OK);
    EXPECT_DOUBLE_EQ(back.dblVal, value);
    VariantClear(&text);
  }
}

TEST(VariantChangeType, ReferenceSources) {
  VARIANT out;
  DOUBLE number = 6.5;
  VARIANT ref;
  ref.vt = VT_R8 | VT_BYREF;
  ref.pdblVal = &number;
  ASSERT_EQ(Change(ref, VT_I4, &out), S_OK);
  EXPECT_EQ(out.lVal, 6);

  VARIANT inner = Text(u"19");
  ref.vt = VT_VARIANT | VT_BYREF;
  ref.pvarVal = &inner;
  ASSERT_EQ(Change(ref, VT_UI2, &out), S_OK);
  EXPECT_EQ(out.uiVal, 19);
  EXPECT_EQ(inner.vt, VT_BSTR);  // the referenced variant is untouched
  VariantClear(&inner);

  ref.vt = VT_I4 | VT_BYREF;
  ref.plVal = nullptr;
  EXPECT_EQ(Change(ref, VT_I4, &out), DISP_E_TYPEMISMATCH);
}

TEST(VariantChangeType, InPlaceReplacesTheSource) {
  VARIANT v = Text(u"  1234 ");
  ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_I4), S_OK);  // the old BSTR must be freed
  EXPECT_EQ(v.vt, VT_I4);
  EXPECT_EQ(v.lVal, 1234);
  ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_BSTR), S_OK);
  EXPECT_EQ(std::u16string(v.bstrVal), u"1234");
  ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_UI1), DISP_E_OVERFLOW);
  ASSERT_EQ(v.vt, VT_BSTR);  // failure leaves it alone
  EXPECT_EQ(std::u16string(v.bstrVal), u"1234");
  VariantClear(&v);
}

TEST(VariantChangeType, InterfacesAndMismatches) {
  CountedObject object;
  VARIANT unknown;
  unknown.vt = VT_UNKNOWN;
  unknown.punkVal = &object;
  VARIANT out;
  ASSERT_EQ(Change(unknown, VT_DISPATCH, &out), S_OK);
  EXPECT_EQ(object.references, 2u);
  VariantClear(&out);
  object.answersDispatch = false;
  EXPECT_EQ(Change(unknown, VT_DISPATCH, &out), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Change(unknown, VT_I4, &out), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(object.references, 1u);

  VARIANT null;
  null.vt = VT_NULL;
  EXPECT_EQ(Change(null, VT_I4, &out), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Change(Long(1), VT_DATE, &out), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Change(Long(1), VT_I4 | VT_ARRAY, &out), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Change(Long(1), VT_VOID, &out), DISP_E_BADVARTYPE);
  EXPECT_EQ(VariantChangeType(nullptr, &null, 0, VT_I4), E_INVALIDARG);
}

}  // namespace
