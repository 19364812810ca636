// Self-registration against a registry file of the test's own: the class's
// registry table key by key and value by value, for the machine and for the
// current user; stale subkeys; a library path with a quote; a failed install
// undone; the thread locale; the type library's path rules.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "component/glimmark_interface.h"
#include "dll/exports.h"
#include "dll/type_library_paths.h"
#include "glimmark_test_seams.h"
#include "server/registrar/reg_object.h"
#include "support/scratch_registry.h"

namespace {

std::u16string GuidText(REFGUID guid) {
  WCHAR text[39];
  StringFromGUID2(guid, text, 39);
  return text;
}

std::u16string Wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

// What a key holds: whether it exists, and a value's text (or "<none>").
bool KeyExists(HKEY root, const std::u16string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

std::u16string Value(HKEY root, const std::u16string& path, const char16_t* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return u"<no key>";
  WCHAR data[1024] = {};
  DWORD size = sizeof data - sizeof(WCHAR);
  DWORD type = REG_NONE;
  const LSTATUS status =
      RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS) return u"<none>";
  if (type != REG_SZ) return u"<not text>";
  return data;
}

using EntryPoint = HRESULT (*)();
// A registration entry point of a loaded library (through the generic
// function pointer type, as casting FARPROC straight to another is warned of).
EntryPoint EntryPointOf(HMODULE library, const char* name) {
  return reinterpret_cast<EntryPoint>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}

std::u16string ThisProgram() {
  WCHAR path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return path;
}

// One row of the registration table: a key under the classes root, a value
// name (null: the default value) and its text ("<none>": no value).
struct TableRow {
  std::u16string key;
  const char16_t* name;
  std::u16string data;
};

std::vector<TableRow> ClassTable(const std::u16string& libraryPath) {
  const std::u16string clsidKey = u"CLSID\\" + GuidText(CLSID_Glimmark);
  return {
      {u"tolvek.Glimmark", nullptr, u"Glimmark Class"},
      {u"tolvek.Glimmark\\CLSID", nullptr, GuidText(CLSID_Glimmark)},
      {clsidKey, nullptr, u"Glimmark Class"},
      {clsidKey + u"\\Programmable", nullptr, u"<none>"},
      {clsidKey + u"\\InprocServer32", nullptr, libraryPath},
      {clsidKey + u"\\InprocServer32", u"ThreadingModel", u"Apartment"},
      {clsidKey + u"\\TypeLib", nullptr, GuidText(LIBID_GlimmarkPrjLib)},
      {clsidKey + u"\\Version", nullptr, u"1.0"},
  };
}

constexpr const char16_t* kClasses = u"Software\\Classes\\";
// Where the type library's registration names its file, beneath a hive.
const std::u16string kTypeLibraryRoot =
    kClasses + std::u16string(u"TypeLib\\") + GuidText(LIBID_GlimmarkPrjLib);
const std::u16string kTypeLibraryKey = kTypeLibraryRoot + u"\\1.0\\409\\win64";

// Where a registration lands: the command line of DllInstall, the hive
// that gets the keys and the one that must stay empty.
struct Scope {
  const char* label;
  const char16_t* commandLine;
  HKEY written;
  HKEY untouched;
};

class Registration : public ScratchRegistry, public ::testing::WithParamInterface<Scope> {
 protected:
  void TearDown() override {
    perUserRegistration = false;
    GlimmarkTest_FailHeapAllocation(0);
    ScratchRegistry::TearDown();
  }
  static void ExpectTable(HKEY root, const std::u16string& libraryPath) {
    for (const TableRow& row : ClassTable(libraryPath)) {
      const std::u16string key = kClasses + row.key;
      ASSERT_TRUE(KeyExists(root, key)) << std::string(key.begin(), key.end());
      EXPECT_EQ(Value(root, key, row.name), row.data) << std::string(key.begin(), key.end());
    }
  }
  static void ExpectNoTable(HKEY root) {
    for (const TableRow& row : ClassTable(u"")) {
      if (row.name != nullptr) continue;
      EXPECT_FALSE(KeyExists(root, kClasses + row.key))
          << std::string(row.key.begin(), row.key.end());
    }
  }
};

TEST_P(Registration, WritesTheTableAndRemovesItAgain) {
  const Scope& scope = GetParam();
  ASSERT_EQ(DllInstall(TRUE, scope.commandLine), S_OK);
  ExpectTable(scope.written, ThisProgram());
  ExpectNoTable(scope.untouched);
  // The type library goes to the same hive, found in this program's file.
  EXPECT_EQ(Value(scope.written, kTypeLibraryKey, nullptr), ThisProgram());
  EXPECT_FALSE(KeyExists(scope.untouched, kTypeLibraryRoot));
  ASSERT_EQ(DllInstall(FALSE, scope.commandLine), S_OK);
  ExpectNoTable(scope.written);
  EXPECT_FALSE(KeyExists(scope.written, kTypeLibraryRoot));
  EXPECT_TRUE(KeyExists(scope.written, u"Software\\Classes\\CLSID"));  // shared: never removed
}

INSTANTIATE_TEST_SUITE_P(
    MachineAndUser, Registration,
    ::testing::Values(Scope{"null command line", nullptr, HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER},
                      Scope{"longer text", u"users", HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER},
                      Scope{"trailing space", u"user ", HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER},
                      Scope{"capitals", u"USER", HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE},
                      Scope{"mixed case", u"uSeR", HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}),
    [](const ::testing::TestParamInfo<Scope>& info) {
      std::string name = info.param.label;
      for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
      return name;
    });

class MachineRegistration : public Registration {};

TEST_F(MachineRegistration, RegisterAndUnregisterServerWithoutInstall) {
  ASSERT_EQ(DllRegisterServer(), S_OK);
  ExpectTable(HKEY_LOCAL_MACHINE, ThisProgram());
  ASSERT_EQ(DllUnregisterServer(), S_OK);
  ExpectNoTable(HKEY_LOCAL_MACHINE);
  // Again: the scripts find nothing and succeed; the type library's own
  // unregistration answers that it is not registered, and that is returned.
  EXPECT_EQ(DllUnregisterServer(), TYPE_E_REGISTRYACCESS);
  ExpectNoTable(HKEY_LOCAL_MACHINE);
}

TEST_F(MachineRegistration, ForceRemoveClearsStaleSubkeysOfTheClass) {
  const std::u16string clsidKey = u"CLSID\\" + GuidText(CLSID_Glimmark);
  HKEY stale = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, (clsidKey + u"\\LocalServer32\\Old").c_str(), 0,
                            nullptr, 0, KEY_ALL_ACCESS, nullptr, &stale, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(stale);
  ASSERT_EQ(DllRegisterServer(), S_OK);
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, clsidKey + u"\\LocalServer32"));
  ExpectTable(HKEY_LOCAL_MACHINE, ThisProgram());
}

TEST_F(MachineRegistration, FailedInstallIsFollowedByAFullUnregistration) {
  ASSERT_EQ(DllRegisterServer(), S_OK);
  GlimmarkTest_FailHeapAllocation(2);  // the class script's text, after the module's
  EXPECT_EQ(DllInstall(TRUE, nullptr), E_OUTOFMEMORY);
  ExpectNoTable(HKEY_LOCAL_MACHINE);  // the earlier registration went with it
}

// The thread's locale inside the registration, seen from the registry's
// last step before it commits.
LCID localeAtCommit = 0;
void RecordLocaleAtCommit() { localeAtCommit = GetThreadLocale(); }

TEST_F(MachineRegistration, ThreadLocaleIsTheSystemsInsideAndComesBackOnEveryPath) {
  constexpr LCID kGerman = 0x0407;
  // Registration switches to LOCALE_SYSTEM_DEFAULT, which the thread takes
  // as the system's own locale.
  const LCID kSystemDefault = GetSystemDefaultLCID();
  ASSERT_NE(kSystemDefault, kGerman);
  ASSERT_TRUE(SetThreadLocale(kGerman));
  localeAtCommit = 0;
  GlimmarkTest_BeforeNextRegistryCommit(RecordLocaleAtCommit);
  EXPECT_EQ(DllRegisterServer(), S_OK);
  EXPECT_EQ(localeAtCommit, kSystemDefault);
  EXPECT_EQ(GetThreadLocale(), kGerman);
  GlimmarkTest_FailHeapAllocation(1);
  EXPECT_EQ(DllUnregisterServer(), E_OUTOFMEMORY);
  EXPECT_EQ(GetThreadLocale(), kGerman);
  SetThreadLocale(LOCALE_USER_DEFAULT);
}

// The built library copied to `folder` (made, and removed with the copy
// when this goes), loaded.
struct CopiedLibrary {
  explicit CopiedLibrary(const std::filesystem::path& folder, const std::filesystem::path& top)
      : top(top), path(folder / "libglimmark.so") {
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(GLIMMARK_SERVER_LIBRARY, path,
                               std::filesystem::copy_options::overwrite_existing);
    library = LoadLibraryW(Wide(path.string()).c_str());
  }
  ~CopiedLibrary() {
    if (library != nullptr) {
      EXPECT_TRUE(FreeLibrary(library));
    }
    std::filesystem::remove_all(top);
  }
  EntryPoint Entry(const char* name) const { return EntryPointOf(library, name); }

  std::filesystem::path top, path;
  HMODULE library = nullptr;
};

// A library whose path does not fit MAX_PATH units cannot name itself in
// InprocServer32: the registration fails with ERROR_INSUFFICIENT_BUFFER
// rather than registering a cut path.
TEST_F(MachineRegistration, LibraryPathLongerThanMaxPathIsRefused) {
  const std::filesystem::path top =
      std::filesystem::temp_directory_path() / ("glimmark-long-" + std::to_string(getpid()));
  std::filesystem::path folder = top;
  while (folder.string().size() <= MAX_PATH) folder /= std::string(60, 'd');
  const CopiedLibrary copy(folder, top);
  ASSERT_NE(copy.library, nullptr);
  const EntryPoint registerServer = copy.Entry("DllRegisterServer");
  ASSERT_NE(registerServer, nullptr);
  EXPECT_EQ(registerServer(), static_cast<HRESULT>(0x8007007A));
  ExpectNoTable(HKEY_LOCAL_MACHINE);
}

// A folder below `top` such that the library copied into it has a path of
// exactly `length` units.
std::filesystem::path FolderForLibraryPath(const std::filesystem::path& top, size_t length) {
  const size_t fileName = std::string("/libglimmark.so").size();
  std::filesystem::path folder = top;
  // Segments of 50 until at most 61 units are missing, then one of the rest.
  while (length - fileName - folder.string().size() > 61) folder /= std::string(50, 'd');
  folder /= std::string(length - fileName - folder.string().size() - 1, 'e');
  return folder;
}

// MAX_PATH counts the terminating zero: a path of MAX_PATH - 1 units is the
// longest that registers; one more unit is a cut path, refused with nothing
// written.
TEST_F(MachineRegistration, LibraryPathFitsUpToMaxPathMinusOne) {
  const std::filesystem::path top =
      std::filesystem::temp_directory_path() / ("glimmark-edge-" + std::to_string(getpid()));
  for (const size_t length : {size_t{MAX_PATH - 1}, size_t{MAX_PATH}}) {
    const CopiedLibrary copy(FolderForLibraryPath(top, length), top);
    ASSERT_EQ(copy.path.string().size(), length);
    ASSERT_NE(copy.library, nullptr);
    const EntryPoint registerServer = copy.Entry("DllRegisterServer");
    ASSERT_NE(registerServer, nullptr);
    if (length == MAX_PATH) {
      EXPECT_EQ(registerServer(), static_cast<HRESULT>(0x8007007A));
      ExpectNoTable(HKEY_LOCAL_MACHINE);
      continue;
    }
    EXPECT_EQ(registerServer(), S_OK);
    ExpectTable(HKEY_LOCAL_MACHINE, Wide(copy.path.string()));
    EXPECT_EQ(copy.Entry("DllUnregisterServer")(), S_OK);
    ExpectNoTable(HKEY_LOCAL_MACHINE);
  }
}

// A library that cannot learn its own file name registers nothing: the
// loader's error comes back rather than an empty InprocServer32.
TEST_F(MachineRegistration, ModuleFileNameFailingRegistersNothing) {
  GlimmarkTest_FailNextModuleFileName();
  EXPECT_EQ(DllRegisterServer(), HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE));
  ExpectNoTable(HKEY_LOCAL_MACHINE);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kTypeLibraryRoot));
}

// The built library, copied into a folder whose name has a single quote,
// registers that path as its InprocServer32.
TEST_F(MachineRegistration, LibraryPathWithASingleQuote) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("glimmark it's " + std::to_string(getpid()));
  const CopiedLibrary copy(folder, folder);
  ASSERT_NE(copy.library, nullptr);
  const EntryPoint registerServer = copy.Entry("DllRegisterServer");
  const EntryPoint unregisterServer = copy.Entry("DllUnregisterServer");
  ASSERT_NE(registerServer, nullptr);
  EXPECT_EQ(registerServer(), S_OK);
  ExpectTable(HKEY_LOCAL_MACHINE, Wide(copy.path.string()));
  EXPECT_EQ(unregisterServer(), S_OK);
  ExpectNoTable(HKEY_LOCAL_MACHINE);
}

// A library file without its own type library registers the .tlb file of the
// same name beside it, and unregisters through it too.
TEST_F(MachineRegistration, TheTypeLibraryFileBesideTheLibraryStandsInForAMissingResource) {
  const std::string path = GLIMMARK_SERVER_WITHOUT_TYPELIB;
  const HMODULE library = LoadLibraryW(Wide(path).c_str());
  ASSERT_NE(library, nullptr);
  const EntryPoint registerServer = EntryPointOf(library, "DllRegisterServer");
  const EntryPoint unregisterServer = EntryPointOf(library, "DllUnregisterServer");
  ITypeLib* direct = nullptr;
  EXPECT_EQ(LoadTypeLib(Wide(path).c_str(), &direct), TYPE_E_CANTLOADLIBRARY);
  ASSERT_EQ(registerServer(), S_OK);
  const std::string beside = path.substr(0, path.size() - 3) + ".tlb";  // ".so" -> ".tlb"
  EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, kTypeLibraryKey, nullptr), Wide(beside));
  EXPECT_EQ(unregisterServer(), S_OK);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kTypeLibraryRoot));
  EXPECT_TRUE(FreeLibrary(library));
}

struct PathCase {
  const char16_t* module;
  const char16_t* expected;  // null: E_FAIL
};

class TypeLibraryBeside : public ::testing::TestWithParam<PathCase> {};

TEST_P(TypeLibraryBeside, ReplacesOrAddsTheExtension) {
  WCHAR path[MAX_PATH] = {};
  const HRESULT hr = TypeLibraryPathBeside(GetParam().module, path);
  if (GetParam().expected == nullptr) {
    EXPECT_EQ(hr, E_FAIL);
    return;
  }
  ASSERT_EQ(hr, S_OK);
  EXPECT_EQ(std::u16string(path), GetParam().expected);
}

const std::u16string kLongStem(MAX_PATH - 4, u'a');  // with ".tlb" one unit too long

INSTANTIATE_TEST_SUITE_P(
    Paths, TypeLibraryBeside,
    ::testing::Values(PathCase{u"/opt/glimmark/libglimmark.so", u"/opt/glimmark/libglimmark.tlb"},
                      PathCase{u"C:\\dir.v2\\glimmark.dll", u"C:\\dir.v2\\glimmark.tlb"},
                      PathCase{u"/dir.v2/glimmark", u"/dir.v2/glimmark.tlb"},
                      PathCase{u"glimmark", u"glimmark.tlb"}, PathCase{u"a.b.c", u"a.b.tlb"},
                      PathCase{kLongStem.c_str(), nullptr}));

TEST(HelpDirectory, CutAfterTheLastSeparatorOrColon) {
  const std::pair<const char16_t*, const char16_t*> cases[] = {
      {u"C:\\help\\glimmark.chm", u"C:\\help\\"},
      {u"/usr/share/help/g.chm", u"/usr/share/help/"},
      {u"C:g.chm", u"C:"},
      {u"g.chm", u""},
  };
  for (const auto& [file, directory] : cases) {
    WCHAR out[MAX_PATH] = {u'x'};
    HelpDirectoryOf(file, out);
    EXPECT_EQ(std::u16string(out), directory);
  }
}

}  // namespace
