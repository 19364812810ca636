// LoadTypeLib over the libraries the build compiles: every name, id, kind,
// flag, parameter and type the IDL declares comes back; malformed files fail
// cleanly; widl's compilation of the same IDL reads to the same description.
#include <gtest/gtest.h>
#include <oleauto.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "component/glimmark_interface.h"
#include "platform/ole/typelib/typelib_test_support.h"
#include "testing/typelib_probe.h"

namespace {

const std::u16string kComponentLibrary = Utf16(GLIMMARK_TYPELIB_PATH);
const std::u16string kProbeLibrary = Utf16(TYPELIB_PROBE_PATH);

TEST(TypeLibraryLoad, ComponentLibraryAttributesAndDocumentation) {
  Held<ITypeLib> library;
  ASSERT_EQ(LoadTypeLib(kComponentLibrary.c_str(), library.out()), S_OK);
  TLIBATTR* attr = nullptr;
  ASSERT_EQ(library->GetLibAttr(&attr), S_OK);
  EXPECT_EQ(attr->guid, LIBID_GlimmarkPrjLib);
  EXPECT_EQ(attr->lcid, kGlimmarkLibraryLocale);
  EXPECT_EQ(attr->syskind, SYS_WIN64);
  EXPECT_EQ(attr->wMajorVerNum, 1);
  EXPECT_EQ(attr->wMinorVerNum, 0);
  library->ReleaseTLibAttr(attr);
  BSTR name = nullptr, doc = nullptr, help = nullptr;
  ASSERT_EQ(library->GetDocumentation(-1, &name, &doc, nullptr, &help), S_OK);
  EXPECT_EQ(Narrow(name), "GlimmarkPrjLib");
  EXPECT_EQ(doc, nullptr);
  EXPECT_EQ(help, nullptr);
  SysFreeString(name);
  ASSERT_EQ(library->GetTypeInfoCount(), 2u);
  TYPEKIND kinds[2];
  ASSERT_EQ(library->GetTypeInfoType(0, &kinds[0]), S_OK);
  ASSERT_EQ(library->GetTypeInfoType(1, &kinds[1]), S_OK);
  EXPECT_EQ(kinds[0], TKIND_COCLASS);
  EXPECT_EQ(kinds[1], TKIND_DISPATCH);
  EXPECT_EQ(library->GetDocumentation(2, &name, nullptr, nullptr, nullptr), TYPE_E_ELEMENTNOTFOUND);
}

TEST(TypeLibraryLoad, CoclassNamesItsDefaultInterface) {
  Held<ITypeLib> library;
  ASSERT_EQ(LoadTypeLib(kComponentLibrary.c_str(), library.out()), S_OK);
  Held<ITypeInfo> coclass;
  ASSERT_EQ(library->GetTypeInfoOfGuid(CLSID_Glimmark, coclass.out()), S_OK);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(coclass->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->typekind, TKIND_COCLASS);
  EXPECT_EQ(attr->cImplTypes, 1);
  EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FCANCREATE);
  coclass->ReleaseTypeAttr(attr);
  INT flags = 0;
  ASSERT_EQ(coclass->GetImplTypeFlags(0, &flags), S_OK);
  EXPECT_EQ(flags, IMPLTYPEFLAG_FDEFAULT);
  HREFTYPE href = 0;
  ASSERT_EQ(coclass->GetRefTypeOfImplType(0, &href), S_OK);
  Held<ITypeInfo> implemented;
  ASSERT_EQ(coclass->GetRefTypeInfo(href, implemented.out()), S_OK);
  BSTR name = nullptr;
  ASSERT_EQ(implemented->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(Narrow(name), "IGlimmark");
  SysFreeString(name);
}

// The dual interface as scripts see it: IDispatch's seven methods, then the
// sixteen of the IDL with their ids, kinds and parameters.
TEST(TypeLibraryLoad, DualInterfaceDispatchViewMatchesTheIdl) {
  Held<ITypeLib> library;
  ASSERT_EQ(LoadTypeLib(kComponentLibrary.c_str(), library.out()), S_OK);
  Held<ITypeInfo> info;
  ASSERT_EQ(library->GetTypeInfoOfGuid(IID_IGlimmark, info.out()), S_OK);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
  EXPECT_EQ(attr->cFuncs, 23);
  EXPECT_EQ(attr->cbSizeVft, 7 * 8);
  EXPECT_EQ(attr->wTypeFlags, TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FDISPATCHABLE);
  info->ReleaseTypeAttr(attr);
  const std::vector<std::string> expected = {
      "1610612736 kind=1 funckind=4 vft=0 flags=1 ret=24 QueryInterface riid ppvObj [1:ptr kind1] "
      "[2:ptr ptr 24]",
      "1610612737 kind=1 funckind=4 vft=8 flags=1 ret=19 AddRef",
      "1610612738 kind=1 funckind=4 vft=16 flags=1 ret=19 Release",
      "1610678272 kind=1 funckind=4 vft=24 flags=1 ret=24 GetTypeInfoCount pctinfo [2:ptr 23]",
      "1610678273 kind=1 funckind=4 vft=32 flags=1 ret=24 GetTypeInfo itinfo lcid pptinfo [1:23] "
      "[1:19] [2:ptr ptr 24]",
      "1610678274 kind=1 funckind=4 vft=40 flags=1 ret=24 GetIDsOfNames riid rgszNames cNames lcid "
      "rgdispid [1:ptr kind1] [1:ptr ptr 16] [1:23] [1:19] [2:ptr 3]",
      "1610678275 kind=1 funckind=4 vft=48 flags=1 ret=24 Invoke dispidMember riid lcid wFlags "
      "pdispparams pvarResult pexcepinfo puArgErr [1:3] [1:ptr kind1] [1:19] [1:18] [1:ptr kind1] "
      "[2:ptr 12] [2:ptr kind1] [2:ptr 23]",
      "1610743808 kind=1 funckind=4 vft=56 flags=0 ret=24 OnStartPage piUnk [1:13]",
      "1610743809 kind=1 funckind=4 vft=64 flags=0 ret=24 OnEndPage",
      "1 kind=1 funckind=4 vft=72 flags=0 ret=24 SaveToFile FileName [1:8]",
      "2 kind=1 funckind=4 vft=80 flags=0 ret=12 SaveToVar",
      "3 kind=1 funckind=4 vft=88 flags=0 ret=24 SetRandomText Min Max [1:3] [1:3]",
      "4 kind=1 funckind=4 vft=96 flags=0 ret=24 SetPassword Password [1:8]",
      "5 kind=2 funckind=4 vft=104 flags=0 ret=8 Text",
      // GetNames answers a property's get; the put's value has no name.
      "5 kind=4 funckind=4 vft=112 flags=0 ret=24 Text [1:8]",
      "6 kind=2 funckind=4 vft=120 flags=0 ret=8 EncryptedText",
      "6 kind=4 funckind=4 vft=128 flags=0 ret=24 EncryptedText [1:8]",
      "9 kind=1 funckind=4 vft=136 flags=0 ret=24 SetLines Amount Width [1:3] [1:3]",
      "10 kind=1 funckind=4 vft=144 flags=0 ret=24 SetSize Width Height [1:3] [1:3]",
      "11 kind=1 funckind=4 vft=152 flags=0 ret=24 SetColor FontColor BackgroundColor [1:19] "
      "[1:19]",
      "12 kind=1 funckind=4 vft=160 flags=0 ret=24 SetOutputFormat FormatID JPEGQuality [1:3] "
      "[1:3]",
      "13 kind=1 funckind=4 vft=168 flags=0 ret=24 Send",
      "14 kind=2 funckind=4 vft=176 flags=0 ret=3 EncryptionAge",
  };
  EXPECT_EQ(DescribeFunctions(info.get()), expected);
}

// The vtable view behind GetRefTypeOfImplType(-1): sixteen methods with
// HRESULT results, [out, retval] parameters and the property put's value.
TEST(TypeLibraryLoad, DualInterfaceVtableViewKeepsRetvalParameters) {
  Held<ITypeLib> library;
  ASSERT_EQ(LoadTypeLib(kComponentLibrary.c_str(), library.out()), S_OK);
  Held<ITypeInfo> dispatch;
  ASSERT_EQ(library->GetTypeInfoOfGuid(IID_IGlimmark, dispatch.out()), S_OK);
  HREFTYPE href = 0;
  ASSERT_EQ(dispatch->GetRefTypeOfImplType(static_cast<UINT>(-1), &href), S_OK);
  Held<ITypeInfo> info;
  ASSERT_EQ(dispatch->GetRefTypeInfo(href, info.out()), S_OK);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->typekind, TKIND_INTERFACE);
  EXPECT_EQ(attr->cFuncs, 16);
  EXPECT_EQ(attr->cbSizeVft, 23 * 8);
  EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FOLEAUTOMATION);
  info->ReleaseTypeAttr(attr);
  const std::vector<std::string> lines = DescribeFunctions(info.get());
  ASSERT_EQ(lines.size(), 16u);
  EXPECT_EQ(lines[3], "2 kind=1 funckind=1 vft=80 flags=0 ret=25 SaveToVar Dest [10:ptr 12]");
  EXPECT_EQ(lines[6], "5 kind=2 funckind=1 vft=104 flags=0 ret=25 Text pVal [10:ptr 8]");
  EXPECT_EQ(lines[7], "5 kind=4 funckind=1 vft=112 flags=0 ret=25 Text pVal [1:8]");
  EXPECT_EQ(lines[15], "14 kind=2 funckind=1 vft=176 flags=0 ret=25 EncryptionAge pVal [10:ptr 3]");
  // Its base is stdole2's IDispatch, served without any file.
  ASSERT_EQ(info->GetRefTypeOfImplType(0, &href), S_OK);
  Held<ITypeInfo> base;
  ASSERT_EQ(info->GetRefTypeInfo(href, base.out()), S_OK);
  BSTR name = nullptr;
  ASSERT_EQ(base->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(Narrow(name), "IDispatch");
  SysFreeString(name);
}

TEST(TypeLibraryLoad, MissingFilesAndBadArguments) {
  ITypeLib* library = reinterpret_cast<ITypeLib*>(0x1);
  EXPECT_EQ(LoadTypeLib(u"/nonexistent/library.tlb", &library), TYPE_E_CANTLOADLIBRARY);
  EXPECT_EQ(library, nullptr);
  EXPECT_EQ(LoadTypeLib(nullptr, &library), E_INVALIDARG);
  EXPECT_EQ(LoadTypeLib(kComponentLibrary.c_str(), nullptr), E_INVALIDARG);
  // A file that is not MSFT goes to the module-resource loader.
  EXPECT_EQ(LoadTypeLib(Utf16(TYPELIB_PROBE_IDL).c_str(), &library), TYPE_E_CANTLOADLIBRARY);
}

// Loads `bytes` written to a scratch file of this process's own (test
// processes run side by side).
HRESULT LoadBytes(const std::vector<uint8_t>& bytes) {
  const std::string path =
      std::string(GLIMMARK_BINARY_DIR) + "/tests/malformed-" + std::to_string(getpid()) + ".tlb";
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return E_FAIL;
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
  ITypeLib* library = nullptr;
  const HRESULT hr = LoadTypeLib(Utf16(path).c_str(), &library);
  if (library != nullptr) library->Release();
  std::remove(path.c_str());
  return hr;
}

void PutWord(std::vector<uint8_t>& bytes, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

TEST(TypeLibraryLoad, EveryTruncationFailsCleanly) {
  const std::vector<uint8_t> bytes = ReadFileBytes(TYPELIB_PROBE_PATH);
  ASSERT_GT(bytes.size(), 0x100u);
  for (size_t length = 0; length < bytes.size(); ++length) {
    const std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(length));
    const HRESULT hr = LoadBytes(cut);
    ASSERT_TRUE(hr == TYPE_E_INVDATAREAD || hr == TYPE_E_CANTLOADLIBRARY) << "length " << length;
  }
}

// Header and record fields made to point outside the file or to count more
// than it holds; each must give an error, never a read out of bounds.
TEST(TypeLibraryLoad, OutOfRangeOffsetsAndCountsFail) {
  const std::vector<uint8_t> valid = ReadFileBytes(TYPELIB_PROBE_PATH);
  const size_t directory = 0x54 + 2 * 4;  // after the header and two type offsets
  const size_t typeInfos = valid[directory] | valid[directory + 1] << 8;
  struct Case {
    const char* what;
    size_t offset;
    uint32_t value;
  };
  const Case cases[] = {
      {"type count", 0x20, 0x7FFFFFFF},
      {"type count past the segment", 0x20, 3},
      {"library GUID offset", 0x08, 0x10000},
      {"library name offset", 0x38, 0xFFFFF0},
      {"help string offset", 0x24, 0x100},
      {"segment offset", directory, 0xFFFFFF00},
      {"segment length", directory + 4, 0x7FFFFFFF},
      {"name segment length", directory + 7 * 16 + 4, 0x10},
      {"type desc segment length", directory + 9 * 16 + 4, 0},
      {"member block offset", typeInfos + 0x64 + 0x04, 0xFFFFFFF0},
      {"function count", typeInfos + 0x64 + 0x18, 0xFFFF},
      {"type kind", typeInfos + 0x64, 0x0F},
      {"base reference", typeInfos + 0x64 + 0x54, 0x64 * 7},
      {"imported reference", typeInfos + 0x64 + 0x54, 0x1001},
      {"coclass reference table", typeInfos + 0x54, 0x40},
      {"implemented types", typeInfos + 0x4C, 0x0200},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = valid;
    PutWord(bytes, c.offset, c.value);
    EXPECT_EQ(LoadBytes(bytes), TYPE_E_INVDATAREAD) << c.what;
  }
  EXPECT_EQ(LoadBytes(valid), S_OK);
}

TEST(TypeLibraryLoad, BrokenFunctionRecordsFail) {
  const std::vector<uint8_t> valid = ReadFileBytes(TYPELIB_PROBE_PATH);
  const size_t directory = 0x54 + 2 * 4;
  const size_t typeInfos = valid[directory] | valid[directory + 1] << 8;
  const size_t interfaceRecord = typeInfos + 0x64;
  const size_t block = valid[interfaceRecord + 4] | valid[interfaceRecord + 5] << 8;
  const size_t firstRecord = block + 4;
  struct Case {
    const char* what;
    size_t offset;
    uint32_t value;
  };
  const Case cases[] = {
      {"record size below the fixed part", firstRecord, 0x10},
      {"record size past the block", firstRecord, 0xFFF0},
      {"parameter count", firstRecord + 0x14, 0x00000040},
      {"parameter count past the record", firstRecord + 0x14, 0x00000009},
      {"invoke kind", firstRecord + 0x10, 0x00000419 | 0x3 << 3},
      {"return type offset", firstRecord + 0x04, 0x00007000},
      {"records length", block, 0x7FFFFFFF},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = valid;
    PutWord(bytes, c.offset, c.value);
    EXPECT_EQ(LoadBytes(bytes), TYPE_E_INVDATAREAD) << c.what;
  }
}

// widl (mingw-w64-tools) with Wine's stdole2.tlb compiles the same IDL; our
// loader must read its file to the same description as ours.
TEST(TypeLibraryLoad, WidlCompilationReadsTheSame) {
  const char* stdole = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/stdole2.tlb";
  const char* includes = "/usr/include/wine/wine/windows";
  if (std::system("command -v x86_64-w64-mingw32-widl >/dev/null 2>&1") != 0 ||
      ReadFileBytes(stdole).empty() ||
      ReadFileBytes(std::string(includes) + "/oaidl.idl").empty()) {
    GTEST_SKIP() << "widl, Wine's stdole2.tlb or Wine's IDL headers are not installed";
  }
  const std::string folder = std::string(GLIMMARK_BINARY_DIR) + "/tests";
  for (const std::string& idl : {std::string(GLIMMARK_SOURCE_DIR) + "/component/glimmark.idl",
                                 std::string(TYPELIB_PROBE_IDL)}) {
    const std::string output = folder + "/widl-compiled.tlb";
    const std::string command = "x86_64-w64-mingw32-widl --win64 -I" + std::string(includes) +
                                " -L/usr/lib/x86_64-linux-gnu/wine/x86_64-windows -t -o " + output +
                                " " + idl + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const std::string ours =
        idl.find("glimmark.idl") != std::string::npos ? GLIMMARK_TYPELIB_PATH : TYPELIB_PROBE_PATH;
    Held<ITypeLib> widlLibrary, ourLibrary;
    ASSERT_EQ(LoadTypeLib(Utf16(output).c_str(), widlLibrary.out()), S_OK);
    ASSERT_EQ(LoadTypeLib(Utf16(ours).c_str(), ourLibrary.out()), S_OK);
    ASSERT_EQ(widlLibrary->GetTypeInfoCount(), ourLibrary->GetTypeInfoCount());
    for (UINT i = 0; i < ourLibrary->GetTypeInfoCount(); ++i) {
      Held<ITypeInfo> theirs, mine;
      ASSERT_EQ(widlLibrary->GetTypeInfo(i, theirs.out()), S_OK);
      ASSERT_EQ(ourLibrary->GetTypeInfo(i, mine.out()), S_OK);
      TYPEATTR *a = nullptr, *b = nullptr;
      ASSERT_EQ(theirs->GetTypeAttr(&a), S_OK);
      ASSERT_EQ(mine->GetTypeAttr(&b), S_OK);
      EXPECT_EQ(a->guid, b->guid);
      EXPECT_EQ(a->typekind, b->typekind);
      EXPECT_EQ(a->wTypeFlags, b->wTypeFlags);
      EXPECT_EQ(a->cFuncs, b->cFuncs);
      EXPECT_EQ(a->cbSizeVft, b->cbSizeVft);
      theirs->ReleaseTypeAttr(a);
      mine->ReleaseTypeAttr(b);
      EXPECT_EQ(DescribeFunctions(theirs.get()), DescribeFunctions(mine.get())) << idl;
    }
    std::remove(output.c_str());
  }
}

}  // namespace
