// The built libglimmark.so as a COM client meets it: its export list, its
// resources read from the file on disk, and CoCreateInstance through a
// registry entry made here, loading, refusing and unloading the library.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "component/glimmark_interface.h"
#include "glimmark_test_seams.h"
#include "support/scratch_registry.h"

namespace {

const std::string kLibrary = GLIMMARK_SERVER_LIBRARY;

std::u16string Wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

std::string FileText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

bool LibraryIsLoaded() {
  void* handle = dlopen(kLibrary.c_str(), RTLD_LAZY | RTLD_NOLOAD);
  if (handle == nullptr) return false;
  dlclose(handle);
  return true;
}

TEST(ServerLibraryFile, ExportsExactlyTheFiveEntryPoints) {
  FILE* listing = popen(("nm -D --defined-only '" + kLibrary + "'").c_str(), "r");
  ASSERT_NE(listing, nullptr);
  std::set<std::string> exported;
  char line[512];
  while (std::fgets(line, sizeof line, listing) != nullptr) {
    std::string text(line);
    const size_t space = text.find_last_of(' ');
    std::string name = text.substr(space + 1);
    name.erase(name.find_last_not_of("\n") + 1);
    exported.insert(name);
  }
  ASSERT_EQ(pclose(listing), 0);
  EXPECT_EQ(exported, (std::set<std::string>{"DllCanUnloadNow", "DllGetClassObject", "DllInstall",
                                             "DllRegisterServer", "DllUnregisterServer"}));
}

// One resource read through the data-file handle: its bytes, or the error.
struct ReadResource {
  std::string bytes;
  DWORD error = ERROR_SUCCESS;
};

ReadResource Read(HMODULE module, LPCWSTR name, LPCWSTR type) {
  ReadResource result;
  SetLastError(ERROR_SUCCESS);
  const HRSRC resource = FindResourceW(module, name, type);
  if (resource == nullptr) {
    result.error = GetLastError();
    return result;
  }
  const auto* data = static_cast<const char*>(LockResource(LoadResource(module, resource)));
  if (data != nullptr) result.bytes.assign(data, SizeofResource(module, resource));
  return result;
}

TEST(ServerLibraryFile, CarriesBothRegistryScriptsAsResources) {
  const HMODULE module = LoadLibraryExW(Wide(kLibrary).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr);
  const std::string classScript = FileText(GLIMMARK_SOURCE_DIR "/server/scripts/glimmark.rgs");
  EXPECT_EQ(Read(module, MAKEINTRESOURCEW(106), u"REGISTRY").bytes, classScript);
  EXPECT_EQ(Read(module, u"#106", u"registry").bytes, classScript);
  EXPECT_EQ(Read(module, MAKEINTRESOURCEW(101), u"REGISTRY").bytes,
            FileText(GLIMMARK_SOURCE_DIR "/server/scripts/module.rgs"));
  EXPECT_EQ(Read(module, MAKEINTRESOURCEW(999), u"REGISTRY").error,
            static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
  EXPECT_EQ(Read(module, MAKEINTRESOURCEW(106), u"BITMAP").error,
            static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));
  EXPECT_TRUE(FreeLibrary(module));
  EXPECT_FALSE(FreeLibrary(module));  // already gone
  EXPECT_EQ(Read(module, MAKEINTRESOURCEW(106), u"REGISTRY").error,
            static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));
}

TEST(ServerLibraryFile, OtherFilesHaveNoResourcesOrAreNoModules) {
  const HMODULE platform =
      LoadLibraryExW(Wide(GLIMMARK_BINARY_DIR "/platform/libglimmark_platform.so").c_str(), nullptr,
                     LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(platform, nullptr);
  EXPECT_EQ(Read(platform, MAKEINTRESOURCEW(106), u"REGISTRY").error,
            static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));
  FreeLibrary(platform);
  SetLastError(ERROR_SUCCESS);
  EXPECT_EQ(LoadLibraryExW(Wide(GLIMMARK_SOURCE_DIR "/server/scripts/glimmark.rgs").c_str(),
                           nullptr, LOAD_LIBRARY_AS_DATAFILE),
            nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));
  EXPECT_EQ(LoadLibraryExW(u"/no/such/library.so", nullptr, LOAD_LIBRARY_AS_DATAFILE), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

// A thread in an apartment, and the class registered for the built library
// in a registry file of the test's own.
class ServerThroughRegistry : public ScratchRegistry {
 protected:
  void SetUp() override {
    ScratchRegistry::SetUp();
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    WCHAR clsid[39];
    StringFromGUID2(CLSID_Glimmark, clsid, 39);
    const std::u16string key = std::u16string(u"CLSID\\") + clsid + u"\\InprocServer32";
    const std::u16string path = Wide(kLibrary);
    HKEY server = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &server, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(
        RegSetValueExW(server, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                       static_cast<DWORD>((path.size() + 1) * sizeof(char16_t))),
        ERROR_SUCCESS);
    RegCloseKey(server);
  }
  void TearDown() override {
    CoFreeUnusedLibraries();
    CoUninitialize();
    ScratchRegistry::TearDown();
  }
  static HRESULT Create(IGlimmark** object) {
    return CoCreateInstance(CLSID_Glimmark, nullptr, CLSCTX_INPROC_SERVER, IID_IGlimmark,
                            reinterpret_cast<void**>(object));
  }
};

TEST_F(ServerThroughRegistry, LoadsRendersReleasesUnloadsAndLoadsAgain) {
  CoFreeUnusedLibraries();
  ASSERT_FALSE(LibraryIsLoaded());
  IGlimmark* object = nullptr;
  ASSERT_EQ(Create(&object), S_OK);
  EXPECT_TRUE(LibraryIsLoaded());
  Dl_info info{};  // the object's code is the library's, not the test's own copy
  ASSERT_NE(dladdr(*reinterpret_cast<void**>(object), &info), 0);
  EXPECT_EQ(std::string(info.dli_fname), kLibrary);

  EXPECT_EQ(object->SetSize(120, 40), S_OK);
  VARIANT bytes;
  VariantInit(&bytes);
  ASSERT_EQ(object->SaveToVar(&bytes), S_OK);
  ASSERT_EQ(bytes.vt, VT_ARRAY | VT_UI1);
  const auto* jpeg = static_cast<const uint8_t*>(bytes.parray->pvData);
  EXPECT_GT(bytes.parray->rgsabound[0].cElements, 100u);
  EXPECT_EQ(jpeg[0], 0xFF);
  EXPECT_EQ(jpeg[1], 0xD8);
  VariantClear(&bytes);

  CoFreeUnusedLibraries();
  EXPECT_TRUE(LibraryIsLoaded());  // the object still holds it
  EXPECT_EQ(object->Release(), 0u);
  CoFreeUnusedLibraries();
  EXPECT_FALSE(LibraryIsLoaded());

  ASSERT_EQ(Create(&object), S_OK);
  EXPECT_TRUE(LibraryIsLoaded());
  object->Release();
}

TEST_F(ServerThroughRegistry, RefusedAttachFailsTheLoadAndLeavesNothingLoaded) {
  CoFreeUnusedLibraries();
  ASSERT_FALSE(LibraryIsLoaded());
  GlimmarkTest_FailNextLockCreation();  // the library's first load step
  IGlimmark* object = reinterpret_cast<IGlimmark*>(0x1);
  EXPECT_EQ(Create(&object), HRESULT_FROM_WIN32(ERROR_DLL_INIT_FAILED));
  EXPECT_EQ(object, nullptr);
  EXPECT_FALSE(LibraryIsLoaded());
  ASSERT_EQ(Create(&object), S_OK);  // the next load succeeds
  object->Release();
}

TEST_F(ServerThroughRegistry, ClientMistakesGetTheirResults) {
  IGlimmark* object = nullptr;
  EXPECT_EQ(CoCreateInstance(IID_IGlimmark, nullptr, CLSCTX_INPROC_SERVER, IID_IGlimmark,
                             reinterpret_cast<void**>(&object)),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(CoCreateInstance(CLSID_Glimmark, nullptr, CLSCTX_LOCAL_SERVER, IID_IGlimmark,
                             reinterpret_cast<void**>(&object)),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(CoCreateInstance(CLSID_Glimmark, nullptr, CLSCTX_INPROC_SERVER, IID_IGlimmark, nullptr),
            E_POINTER);
  CLSID clsid;
  EXPECT_EQ(CLSIDFromProgID(u"tolvek.Glimmark", &clsid), CO_E_CLASSSTRING);  // not registered
  CoUninitialize();
  EXPECT_EQ(Create(&object), CO_E_NOTINITIALIZED);
  EXPECT_EQ(object, nullptr);
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
}

}  // namespace
