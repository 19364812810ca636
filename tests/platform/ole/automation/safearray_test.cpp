#include <gtest/gtest.h>
#include <oleauto.h>

#include <string>

#include "testing/counted_dispatch.h"

namespace {

TEST(SafeArray, ShapeAndLayoutOfATwoDimensionalArray) {
  SAFEARRAYBOUND bounds[2] = {{3, 1}, {4, -2}};  // dimension 1: 1..3, dimension 2: -2..1
  SAFEARRAY* array = SafeArrayCreate(VT_I2, 2, bounds);
  ASSERT_NE(array, nullptr);
  EXPECT_EQ(SafeArrayGetDim(array), 2u);
  EXPECT_EQ(SafeArrayGetElemsize(array), 2u);
  EXPECT_EQ(array->rgsabound[0].cElements, 4u);  // stored last dimension first
  LONG bound = 0;
  EXPECT_EQ(SafeArrayGetLBound(array, 1, &bound), S_OK);
  EXPECT_EQ(bound, 1);
  EXPECT_EQ(SafeArrayGetUBound(array, 1, &bound), S_OK);
  EXPECT_EQ(bound, 3);
  EXPECT_EQ(SafeArrayGetLBound(array, 2, &bound), S_OK);
  EXPECT_EQ(bound, -2);
  EXPECT_EQ(SafeArrayGetUBound(array, 2, &bound), S_OK);
  EXPECT_EQ(bound, 1);
  EXPECT_EQ(SafeArrayGetLBound(array, 0, &bound), DISP_E_BADINDEX);
  EXPECT_EQ(SafeArrayGetUBound(array, 3, &bound), DISP_E_BADINDEX);
  VARTYPE vt = VT_EMPTY;
  EXPECT_EQ(SafeArrayGetVartype(array, &vt), S_OK);
  EXPECT_EQ(vt, VT_I2);

  // Dimension 1 varies fastest: element (i, j) sits at (i-1) + 3 * (j+2).
  LONG indices[2] = {2, 0};
  void* element = nullptr;
  ASSERT_EQ(SafeArrayPtrOfIndex(array, indices, &element), S_OK);
  EXPECT_EQ(element, static_cast<SHORT*>(array->pvData) + (1 + 3 * 2));
  LONG outside[2] = {4, 0};
  EXPECT_EQ(SafeArrayPtrOfIndex(array, outside, &element), DISP_E_BADINDEX);
  LONG below[2] = {1, -3};
  EXPECT_EQ(SafeArrayPtrOfIndex(array, below, &element), DISP_E_BADINDEX);
  EXPECT_EQ(SafeArrayDestroy(array), S_OK);
}

TEST(SafeArray, InvalidCreationsFailWithNull) {
  SAFEARRAYBOUND bound = {4, 0};
  EXPECT_EQ(SafeArrayCreate(VT_I4, 0, &bound), nullptr);
  EXPECT_EQ(SafeArrayCreate(VT_I4, 1, nullptr), nullptr);
  EXPECT_EQ(SafeArrayCreate(VT_EMPTY, 1, &bound), nullptr);
  EXPECT_EQ(SafeArrayCreate(VT_RECORD, 1, &bound), nullptr);
  EXPECT_EQ(SafeArrayCreate(VT_I4 | VT_BYREF, 1, &bound), nullptr);
  SAFEARRAYBOUND many[65];
  for (auto& b : many) b = {1, 0};
  EXPECT_EQ(SafeArrayCreate(VT_UI1, 65, many), nullptr);
  SAFEARRAY* sixtyFour = SafeArrayCreate(VT_UI1, 64, many);
  EXPECT_NE(sixtyFour, nullptr);
  SafeArrayDestroy(sixtyFour);
}

TEST(SafeArray, OverflowingOrHugeSizesFailWithoutAllocating) {
  SAFEARRAYBOUND overflowing[3] = {{0xFFFFFFFFu, 0}, {0xFFFFFFFFu, 0}, {0xFFFFFFFFu, 0}};
  EXPECT_EQ(SafeArrayCreate(VT_UI1, 3, overflowing), nullptr);
  EXPECT_EQ(SafeArrayCreateVector(VT_VARIANT, 0, 0xFFFFFFFFu), nullptr);  // 96 GiB
  EXPECT_EQ(SafeArrayCreateVector(VT_UI1, 0, 0x80000000u), nullptr);      // 2 GiB: over the cap
  SAFEARRAY* empty = SafeArrayCreateVector(VT_UI1, 5, 0);
  ASSERT_NE(empty, nullptr);
  LONG upper = 0;
  EXPECT_EQ(SafeArrayGetUBound(empty, 1, &upper), S_OK);
  EXPECT_EQ(upper, 4);
  LONG index = 5;
  void* element = nullptr;
  EXPECT_EQ(SafeArrayPtrOfIndex(empty, &index, &element), DISP_E_BADINDEX);
  SafeArrayDestroy(empty);
}

TEST(SafeArray, LockCountGuardsDestruction) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, 16);
  void* data = nullptr;
  ASSERT_EQ(SafeArrayAccessData(array, &data), S_OK);
  EXPECT_EQ(data, array->pvData);
  ASSERT_EQ(SafeArrayLock(array), S_OK);
  EXPECT_EQ(array->cLocks, 2u);
  EXPECT_EQ(SafeArrayDestroy(array), DISP_E_ARRAYISLOCKED);
  EXPECT_EQ(SafeArrayUnlock(array), S_OK);
  EXPECT_EQ(SafeArrayDestroy(array), DISP_E_ARRAYISLOCKED);
  EXPECT_EQ(SafeArrayUnaccessData(array), S_OK);
  EXPECT_EQ(SafeArrayUnlock(array), E_UNEXPECTED);  // not locked
  EXPECT_EQ(array->cLocks, 0u);
  EXPECT_EQ(SafeArrayDestroy(array), S_OK);
}

TEST(SafeArray, NullPointers) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_I4, 0, 1);
  LONG bound = 0;
  void* data = nullptr;
  VARTYPE vt = VT_EMPTY;
  EXPECT_EQ(SafeArrayDestroy(nullptr), S_OK);
  EXPECT_EQ(SafeArrayLock(nullptr), E_INVALIDARG);
  EXPECT_EQ(SafeArrayUnlock(nullptr), E_INVALIDARG);
  EXPECT_EQ(SafeArrayAccessData(nullptr, &data), E_INVALIDARG);
  EXPECT_EQ(SafeArrayAccessData(array, nullptr), E_INVALIDARG);
  EXPECT_EQ(SafeArrayGetLBound(nullptr, 1, &bound), E_INVALIDARG);
  EXPECT_EQ(SafeArrayGetUBound(array, 1, nullptr), E_INVALIDARG);
  EXPECT_EQ(SafeArrayGetVartype(nullptr, &vt), E_INVALIDARG);
  EXPECT_EQ(SafeArrayPtrOfIndex(array, nullptr, &data), E_INVALIDARG);
  EXPECT_EQ(SafeArrayCopy(array, nullptr), E_INVALIDARG);
  EXPECT_EQ(SafeArrayGetDim(nullptr), 0u);
  EXPECT_EQ(SafeArrayGetElemsize(nullptr), 0u);
  SAFEARRAY* copy = array;
  EXPECT_EQ(SafeArrayCopy(nullptr, &copy), S_OK);
  EXPECT_EQ(copy, nullptr);
  SafeArrayDestroy(array);
}

TEST(SafeArray, OwnedElementsAreCopiedDeeplyAndFreed) {
  CountedObject object;
  SAFEARRAY* texts = SafeArrayCreateVector(VT_BSTR, 0, 3);
  static_cast<BSTR*>(texts->pvData)[0] = SysAllocString(OLESTR("one"));
  static_cast<BSTR*>(texts->pvData)[2] = SysAllocString(OLESTR("three"));
  SAFEARRAY* variants = SafeArrayCreateVector(VT_VARIANT, 0, 2);
  VARIANT* items = static_cast<VARIANT*>(variants->pvData);
  items[0].vt = VT_BSTR;
  items[0].bstrVal = SysAllocString(OLESTR("inside"));
  items[1].vt = VT_UNKNOWN;
  items[1].punkVal = &object;
  object.AddRef();
  SAFEARRAY* objects = SafeArrayCreateVector(VT_DISPATCH, 0, 2);
  static_cast<IDispatch**>(objects->pvData)[1] = &object;
  object.AddRef();

  for (SAFEARRAY* source : {texts, variants, objects}) {
    SAFEARRAY* copy = nullptr;
    ASSERT_EQ(SafeArrayCopy(source, &copy), S_OK);
    VARTYPE sourceType = VT_EMPTY;
    VARTYPE copyType = VT_EMPTY;
    SafeArrayGetVartype(source, &sourceType);
    SafeArrayGetVartype(copy, &copyType);
    EXPECT_EQ(copyType, sourceType);
    EXPECT_EQ(copy->cLocks, 0u);
    EXPECT_NE(copy->pvData, source->pvData);
    SafeArrayDestroy(copy);
  }
  SAFEARRAY* textCopy = nullptr;
  ASSERT_EQ(SafeArrayCopy(texts, &textCopy), S_OK);
  const BSTR* copied = static_cast<BSTR*>(textCopy->pvData);
  EXPECT_EQ(std::u16string(copied[2]), u"three");
  EXPECT_NE(copied[2], static_cast<BSTR*>(texts->pvData)[2]);
  EXPECT_EQ(copied[1], nullptr);
  SafeArrayDestroy(textCopy);

  EXPECT_EQ(object.references, 3u);  // copies gave back what they took
  VARTYPE vt = VT_EMPTY;
  EXPECT_EQ(SafeArrayGetVartype(objects, &vt), S_OK);
  EXPECT_EQ(vt, VT_DISPATCH);
  for (SAFEARRAY* array : {texts, variants, objects}) EXPECT_EQ(SafeArrayDestroy(array), S_OK);
  EXPECT_EQ(object.references, 1u);
}

}  // namespace
