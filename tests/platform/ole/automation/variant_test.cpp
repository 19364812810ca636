#include <gtest/gtest.h>
#include <oleauto.h>

#include <string>

#include "testing/counted_dispatch.h"

namespace {

VARIANT TextVariant(const char16_t* text) {
  VARIANT v;
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocString(text);
  return v;
}

VARIANT ArrayVariant(LONG first, LONG second) {
  VARIANT v;
  v.vt = VT_ARRAY | VT_I4;
  v.parray = SafeArrayCreateVector(VT_I4, 0, 2);
  static_cast<LONG*>(v.parray->pvData)[0] = first;
  static_cast<LONG*>(v.parray->pvData)[1] = second;
  return v;
}

TEST(VariantClear, FreesWhatTheVariantOwnsAndLeavesEmpty) {
  CountedObject object;
  VARIANT text = TextVariant(u"owned");  // a leak here fails the sanitizer run
  VARIANT array = ArrayVariant(1, 2);
  VARIANT unknown;
  unknown.vt = VT_DISPATCH;
  unknown.pdispVal = &object;
  object.AddRef();
  for (VARIANT* v : {&text, &array, &unknown}) {
    EXPECT_EQ(VariantClear(v), S_OK);
    EXPECT_EQ(v->vt, VT_EMPTY);
  }
  EXPECT_EQ(object.references, 1u);
}

TEST(VariantClear, ReferenceVariantsOwnNothing) {
  BSTR text = SysAllocString(OLESTR("kept"));
  VARIANT ref;
  ref.vt = VT_BSTR | VT_BYREF;
  ref.pbstrVal = &text;
  EXPECT_EQ(VariantClear(&ref), S_OK);
  EXPECT_EQ(SysStringLen(text), 4u);  // still alive
  SysFreeString(text);
}

TEST(VariantClear, LockedArrayIsReportedAndKept) {
  VARIANT v = ArrayVariant(1, 2);
  ASSERT_EQ(SafeArrayLock(v.parray), S_OK);
  EXPECT_EQ(VariantClear(&v), DISP_E_ARRAYISLOCKED);
  EXPECT_EQ(v.vt, VT_ARRAY | VT_I4);
  ASSERT_EQ(SafeArrayUnlock(v.parray), S_OK);
  EXPECT_EQ(VariantClear(&v), S_OK);
}

TEST(VariantClear, BadInput) {
  EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);
  for (VARTYPE vt :
       {VARTYPE(15), VARTYPE(VT_VOID), VARTYPE(VT_I4 | VT_VECTOR), VARTYPE(VT_I4 | VT_RESERVED),
        VARTYPE(VT_EMPTY | VT_BYREF), VARTYPE(VT_NULL | VT_ARRAY), VARTYPE(VT_RECORD)}) {
    VARIANT v;
    v.vt = vt;
    EXPECT_EQ(VariantClear(&v), DISP_E_BADVARTYPE) << vt;
  }
}

TEST(VariantCopy, DeepCopiesAndClearsTheDestination) {
  CountedObject object;
  VARIANT source = TextVariant(u"text");
  VARIANT destination = TextVariant(u"old");  // must be freed by the copy
  ASSERT_EQ(VariantCopy(&destination, &source), S_OK);
  EXPECT_NE(destination.bstrVal, source.bstrVal);
  EXPECT_EQ(std::u16string(destination.bstrVal), u"text");

  VARIANT array = ArrayVariant(7, 8);
  ASSERT_EQ(VariantCopy(&destination, &array), S_OK);
  EXPECT_NE(destination.parray, array.parray);
  EXPECT_EQ(static_cast<LONG*>(destination.parray->pvData)[1], 8);

  VARIANT unknown;
  unknown.vt = VT_UNKNOWN;
  unknown.punkVal = &object;
  ASSERT_EQ(VariantCopy(&destination, &unknown), S_OK);
  EXPECT_EQ(object.references, 2u);
  EXPECT_EQ(VariantCopy(&destination, &destination), S_OK);  // self-copy changes nothing
  EXPECT_EQ(object.references, 2u);
  VariantClear(&destination);
  EXPECT_EQ(object.references, 1u);
  VariantClear(&source);
  VariantClear(&array);
}

TEST(VariantCopy, BadInputLeavesDestinationAlone) {
  VARIANT destination = TextVariant(u"kept");
  VARIANT bad;
  bad.vt = VT_VOID;
  EXPECT_EQ(VariantCopy(&destination, &bad), DISP_E_BADVARTYPE);
  EXPECT_EQ(std::u16string(destination.bstrVal), u"kept");
  EXPECT_EQ(VariantCopy(nullptr, &destination), E_INVALIDARG);
  EXPECT_EQ(VariantCopy(&destination, nullptr), E_INVALIDARG);
  VariantClear(&destination);
}

TEST(VariantCopyInd, DereferencesScalarsStringsAndVariants) {
  LONG number = 42;
  VARIANT ref;
  ref.vt = VT_I4 | VT_BYREF;
  ref.plVal = &number;
  VARIANT out;
  VariantInit(&out);
  ASSERT_EQ(VariantCopyInd(&out, &ref), S_OK);
  EXPECT_EQ(out.vt, VT_I4);
  EXPECT_EQ(out.lVal, 42);

  BSTR text = SysAllocString(OLESTR("by ref"));
  ref.vt = VT_BSTR | VT_BYREF;
  ref.pbstrVal = &text;
  ASSERT_EQ(VariantCopyInd(&out, &ref), S_OK);
  EXPECT_NE(out.bstrVal, text);
  EXPECT_EQ(std::u16string(out.bstrVal), u"by ref");

  VARIANT inner;
  inner.vt = VT_BSTR | VT_BYREF;
  inner.pbstrVal = &text;
  ref.vt = VT_VARIANT | VT_BYREF;
  ref.pvarVal = &inner;
  ASSERT_EQ(VariantCopyInd(&out, &ref), S_OK);
  EXPECT_EQ(out.vt, VT_BSTR);
  EXPECT_EQ(std::u16string(out.bstrVal), u"by ref");
  VariantClear(&out);
  SysFreeString(text);
}

TEST(VariantCopyInd, InPlaceAndBadReferences) {
  SHORT value = -3;
  VARIANT v;
  v.vt = VT_I2 | VT_BYREF;
  v.piVal = &value;
  ASSERT_EQ(VariantCopyInd(&v, &v), S_OK);
  EXPECT_EQ(v.vt, VT_I2);
  EXPECT_EQ(v.iVal, -3);

  VARIANT null;
  null.vt = VT_I4 | VT_BYREF;
  null.plVal = nullptr;
  EXPECT_EQ(VariantCopyInd(&v, &null), E_INVALIDARG);

  VARIANT inner;
  inner.vt = VT_VARIANT | VT_BYREF;
  inner.pvarVal = &v;
  VARIANT outer;
  outer.vt = VT_VARIANT | VT_BYREF;
  outer.pvarVal = &inner;
  EXPECT_EQ(VariantCopyInd(&v, &outer), E_INVALIDARG);  // one level only
  EXPECT_EQ(v.vt, VT_I2);
}

}  // namespace
