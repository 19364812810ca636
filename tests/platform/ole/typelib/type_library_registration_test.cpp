// RegisterTypeLib[ForUser] write Windows' keys, UnRegisterTypeLib[ForUser]
// remove them, and LoadRegTypeLib finds the file through them.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <oleauto.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "glimmark_test_seams.h"
#include "libloaderapi.h"
#include "platform/ole/typelib/typelib_test_support.h"
#include "testing/typelib_probe.h"
#include "winreg.h"

namespace {

const std::u16string kProbePath = Utf16(TYPELIB_PROBE_PATH);
const std::u16string kLibKey = u"TypeLib\\{9E4A2C71-6B3D-4F05-8C2E-71A5D3B9E640}";
const std::u16string kInterfaceKey = u"Interface\\{5C1B7E2A-3F4D-4B8E-9A61-2D7C0E4F8B13}";

class TypeLibraryRegistration : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* base = std::getenv("GLIMMARK_REGISTRY");
    path_ = std::string(base != nullptr ? base : "/tmp/glimmark-registry-test") + ".typelib." +
            std::to_string(getpid()) + ".db";
    RemoveFiles();
    GlimmarkTest_UseRegistryFile(path_.c_str());
    ASSERT_EQ(LoadTypeLib(kProbePath.c_str(), library_.out()), S_OK);
  }
  void TearDown() override {
    GlimmarkTest_UseRegistryFile(nullptr);
    RemoveFiles();
  }
  void RemoveFiles() {
    for (const char* suffix : {"", "-wal", "-shm"}) std::remove((path_ + suffix).c_str());
  }

  // The default (or named) string value of root\key, or "<missing>".
  static std::u16string Value(HKEY root, const std::u16string& key,
                              const char16_t* name = nullptr) {
    HKEY handle = nullptr;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
      return u"<missing>";
    char16_t text[512] = {};
    DWORD bytes = sizeof(text) - sizeof(char16_t);
    const LSTATUS status =
        RegQueryValueExW(handle, name, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &bytes);
    RegCloseKey(handle);
    return status == ERROR_SUCCESS ? std::u16string(text) : u"<no value>";
  }

  void ExpectRegistered(HKEY root, const std::u16string& prefix) {
    const std::u16string version = prefix + kLibKey + u"\\2.3";
    EXPECT_EQ(Value(root, version), u"TypelibProbeLib");
    EXPECT_EQ(Value(root, version + u"\\0\\win64"), kProbePath);
    EXPECT_EQ(Value(root, version + u"\\FLAGS"), u"0");
    EXPECT_EQ(Value(root, version + u"\\HELPDIR"), u"/help");
    const std::u16string interfaceKey = prefix + kInterfaceKey;
    EXPECT_EQ(Value(root, interfaceKey), u"ITypelibProbe");
    EXPECT_EQ(Value(root, interfaceKey + u"\\ProxyStubClsid32"),
              u"{00020424-0000-0000-C000-000000000046}");
    EXPECT_EQ(Value(root, interfaceKey + u"\\ProxyStubClsid"),
              u"{00020424-0000-0000-C000-000000000046}");
    EXPECT_EQ(Value(root, interfaceKey + u"\\TypeLib"), u"{9E4A2C71-6B3D-4F05-8C2E-71A5D3B9E640}");
    EXPECT_EQ(Value(root, interfaceKey + u"\\TypeLib", u"Version"), u"2.3");
  }

  void ExpectRemoved(HKEY root, const std::u16string& prefix) {
    EXPECT_EQ(Value(root, prefix + kLibKey), u"<missing>");
    EXPECT_EQ(Value(root, prefix + kInterfaceKey), u"<missing>");
  }

  std::string path_;
  Held<ITypeLib> library_;
};

TEST_F(TypeLibraryRegistration, MachineRegistrationWritesAndRemovesTheKeys) {
  ASSERT_EQ(RegisterTypeLib(library_.get(), kProbePath.c_str(), u"/help"), S_OK);
  ExpectRegistered(HKEY_LOCAL_MACHINE, u"Software\\Classes\\");
  ExpectRegistered(HKEY_CLASSES_ROOT, u"");
  ExpectRemoved(HKEY_CURRENT_USER, u"Software\\Classes\\");
  Held<ITypeLib> found;
  ASSERT_EQ(LoadRegTypeLib(kLibidTypelibProbe, 2, 3, 0x0409, found.out()), S_OK);
  EXPECT_EQ(found->GetTypeInfoCount(), 2u);
  // A lower minor version is served by the registered higher one.
  ASSERT_EQ(LoadRegTypeLib(kLibidTypelibProbe, 2, 0, 0, found.out()), S_OK);
  EXPECT_EQ(LoadRegTypeLib(kLibidTypelibProbe, 2, 4, 0, found.out()), TYPE_E_LIBNOTREGISTERED);
  EXPECT_EQ(LoadRegTypeLib(kLibidTypelibProbe, 1, 0, 0, found.out()), TYPE_E_LIBNOTREGISTERED);
  ASSERT_EQ(UnRegisterTypeLib(kLibidTypelibProbe, 2, 3, 0, SYS_WIN64), S_OK);
  ExpectRemoved(HKEY_LOCAL_MACHINE, u"Software\\Classes\\");
  EXPECT_EQ(LoadRegTypeLib(kLibidTypelibProbe, 2, 3, 0, found.out()), TYPE_E_LIBNOTREGISTERED);
  EXPECT_EQ(UnRegisterTypeLib(kLibidTypelibProbe, 2, 3, 0, SYS_WIN64), TYPE_E_REGISTRYACCESS);
}

TEST_F(TypeLibraryRegistration, PerUserRegistrationStaysBeneathTheUser) {
  std::u16string path = kProbePath;
  std::u16string help = u"/help";
  ASSERT_EQ(RegisterTypeLibForUser(library_.get(), path.data(), help.data()), S_OK);
  ExpectRegistered(HKEY_CURRENT_USER, u"Software\\Classes\\");
  ExpectRemoved(HKEY_LOCAL_MACHINE, u"Software\\Classes\\");
  Held<ITypeLib> found;
  ASSERT_EQ(LoadRegTypeLib(kLibidTypelibProbe, 2, 3, 0, found.out()), S_OK);
  ASSERT_EQ(UnRegisterTypeLibForUser(kLibidTypelibProbe, 2, 3, 0, SYS_WIN64), S_OK);
  ExpectRemoved(HKEY_CURRENT_USER, u"Software\\Classes\\");
}

// A registered library still held is handed out again without a read; one
// let go by everyone, or whose file changed on disk, is read anew.
TEST_F(TypeLibraryRegistration, ALibraryInUseIsHandedOutAgainUntilItsFileChanges) {
  const std::string copy = path_ + ".probe.tlb";
  const std::vector<uint8_t> bytes = ReadFileBytes(TYPELIB_PROBE_PATH);
  auto writeCopy = [&](const std::string& to) {
    std::ofstream(to, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  };
  writeCopy(copy);
  const std::u16string copyPath = Utf16(copy);
  ASSERT_EQ(RegisterTypeLib(library_.get(), copyPath.c_str(), nullptr), S_OK);

  Held<ITypeLib> first, second;
  const LONG loadsBefore = GlimmarkTest_TypeLibraryLoads();
  ASSERT_EQ(LoadRegTypeLib(kLibidTypelibProbe, 2, 3, 0, first.out()), S_OK);
  ASSERT_EQ(LoadRegTypeLib(kLibidTypelibProbe, 2, 3, 0, second.out()), S_OK);
  EXPECT_EQ(second.get(), first.get());
  EXPECT_EQ(GlimmarkTest_TypeLibraryLoads(), loadsBefore + 1);

  // Replaced: written beside and renamed over it (another inode).
  writeCopy(copy + ".new");
  ASSERT_EQ(std::rename((copy + ".new").c_str(), copy.c_str()), 0);
  ASSERT_EQ(LoadRegTypeLib(kLibidTypelibProbe, 2, 3, 0, second.out()), S_OK);
  EXPECT_NE(second.get(), first.get());
  EXPECT_EQ(GlimmarkTest_TypeLibraryLoads(), loadsBefore + 2);
  // Rewritten in place (the same inode, a later modification time).
  struct stat before {};
  ASSERT_EQ(stat(copy.c_str(), &before), 0);
  const timespec later[2] = {before.st_atim, {before.st_mtim.tv_sec + 1, before.st_mtim.tv_nsec}};
  writeCopy(copy);
  ASSERT_EQ(utimensat(AT_FDCWD, copy.c_str(), later, 0), 0);
  ASSERT_EQ(LoadRegTypeLib(kLibidTypelibProbe, 2, 3, 0, first.out()), S_OK);
  EXPECT_NE(first.get(), second.get());
  EXPECT_EQ(GlimmarkTest_TypeLibraryLoads(), loadsBefore + 3);
  // Once nobody holds it, the next call reads the file again.
  first.reset();
  second.reset();
  ASSERT_EQ(LoadRegTypeLib(kLibidTypelibProbe, 2, 3, 0, first.out()), S_OK);
  EXPECT_EQ(GlimmarkTest_TypeLibraryLoads(), loadsBefore + 4);
  EXPECT_EQ(first->GetTypeInfoCount(), 2u);

  ASSERT_EQ(UnRegisterTypeLib(kLibidTypelibProbe, 2, 3, 0, SYS_WIN64), S_OK);
  EXPECT_EQ(LoadRegTypeLib(kLibidTypelibProbe, 2, 3, 0, second.out()), TYPE_E_LIBNOTREGISTERED);
  std::remove(copy.c_str());
}

TEST_F(TypeLibraryRegistration, FoundByNameInOleaut32) {
  HMODULE oleaut = GetModuleHandleW(u"OLEAUT32.DLL");
  ASSERT_NE(oleaut, nullptr);
  for (const char* name : {"RegisterTypeLibForUser", "UnRegisterTypeLibForUser", "RegisterTypeLib",
                           "UnRegisterTypeLib", "LoadRegTypeLib", "LoadTypeLib"}) {
    EXPECT_NE(GetProcAddress(oleaut, name), nullptr) << name;
  }
}

TEST_F(TypeLibraryRegistration, BadArguments) {
  EXPECT_EQ(RegisterTypeLib(nullptr, kProbePath.c_str(), nullptr), E_INVALIDARG);
  EXPECT_EQ(RegisterTypeLib(library_.get(), nullptr, nullptr), E_INVALIDARG);
  EXPECT_EQ(UnRegisterTypeLib(kLibidTypelibProbe, 2, 3, 0, SYS_MAC), E_INVALIDARG);
  EXPECT_EQ(LoadRegTypeLib(kLibidTypelibProbe, 2, 3, 0, nullptr), E_INVALIDARG);
}

}  // namespace
