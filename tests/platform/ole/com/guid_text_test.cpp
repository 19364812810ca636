#include <gtest/gtest.h>
#include <objbase.h>

#include <string>

namespace {

std::u16string TextOf(const GUID& guid) {
  OLECHAR text[39];
  EXPECT_EQ(StringFromGUID2(guid, text, 39), 39);
  return text;
}

TEST(Guids, ExportedInterfaceIdentifiersHaveTheirWindowsValues) {
  EXPECT_EQ(TextOf(IID_IUnknown), u"{00000000-0000-0000-C000-000000000046}");
  EXPECT_EQ(TextOf(IID_IDispatch), u"{00020400-0000-0000-C000-000000000046}");
  EXPECT_EQ(TextOf(IID_IErrorInfo), u"{1CF2B120-547D-101B-8E65-08002B2BD119}");
  EXPECT_EQ(TextOf(IID_ICreateErrorInfo), u"{22F03340-547D-101B-8E65-08002B2BD119}");
  EXPECT_EQ(TextOf(IID_ISupportErrorInfo), u"{DF0B3D60-548F-101B-8E65-08002B2BD119}");
  EXPECT_EQ(TextOf(IID_ISequentialStream), u"{0C733A30-2A1C-11CE-ADE5-00AA0044773D}");
  EXPECT_EQ(TextOf(IID_IStream), u"{0000000C-0000-0000-C000-000000000046}");
}

TEST(Guids, TextRoundTripAndFieldOrder) {
  CLSID clsid;
  ASSERT_EQ(CLSIDFromString(OLESTR("{01234567-89ab-CDEF-0123-456789abcdef}"), &clsid), S_OK);
  EXPECT_EQ(clsid.Data1, 0x01234567u);
  EXPECT_EQ(clsid.Data2, 0x89AB);
  EXPECT_EQ(clsid.Data3, 0xCDEF);
  EXPECT_EQ(clsid.Data4[0], 0x01);
  EXPECT_EQ(clsid.Data4[7], 0xEF);
  EXPECT_EQ(TextOf(clsid), u"{01234567-89AB-CDEF-0123-456789ABCDEF}");
}

TEST(Guids, SmallBufferWritesNothing) {
  OLECHAR text[39] = {u'x'};
  EXPECT_EQ(StringFromGUID2(IID_IUnknown, text, 38), 0);
  EXPECT_EQ(text[0], u'x');
  EXPECT_EQ(StringFromGUID2(IID_IUnknown, nullptr, 39), 0);
}

TEST(Guids, MalformedTextIsAClassStringError) {
  CLSID clsid = IID_IDispatch;
  for (const char16_t* bad :
       {u"", u"{00000000-0000-0000-C000-000000000046", u"tolvek.Glimmark",
        u"{00000000-0000-0000-C000-000000000046}x", u"{00000000-0000-0000-C000-00000000004G}",
        u"{00000000+0000-0000-C000-000000000046}", u"00000000-0000-0000-C000-000000000046"}) {
    EXPECT_EQ(CLSIDFromString(bad, &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(clsid, GUID{});
  }
  EXPECT_EQ(CO_E_CLASSSTRING, static_cast<HRESULT>(0x800401F3));
  EXPECT_EQ(CLSIDFromString(OLESTR("{00000000-0000-0000-C000-000000000046}"), nullptr),
            E_INVALIDARG);
  EXPECT_EQ(CLSIDFromString(nullptr, &clsid), S_OK);
  EXPECT_EQ(clsid, GUID{});
}

TEST(TaskMemory, AllocReallocFree) {
  void* block = CoTaskMemAlloc(0);
  EXPECT_NE(block, nullptr);
  block = CoTaskMemRealloc(block, 64);
  ASSERT_NE(block, nullptr);
  static_cast<char*>(block)[63] = 1;
  EXPECT_EQ(CoTaskMemRealloc(block, SIZE_MAX), nullptr);  // failure keeps the block
  static_cast<char*>(block)[63] = 2;
  EXPECT_EQ(CoTaskMemRealloc(block, 0), nullptr);  // frees it
  EXPECT_EQ(CoTaskMemAlloc(SIZE_MAX), nullptr);
  CoTaskMemFree(nullptr);
}

}  // namespace
