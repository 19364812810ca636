// `glimmark register` on the built library into a registry file of the
// test's own; this process then makes the object by ProgID, as a second
// client, and draws a picture through IDispatch alone, as a script would;
// `--unregister` takes every key away again.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "component/glimmark_interface.h"
#include "glimmark_test_seams.h"
#include "support/cli_runner.h"
#include "tools/dispatch_caller/dispatch_caller.h"

namespace {

class GlimmarkRegister : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* base = std::getenv("GLIMMARK_REGISTRY");
    path_ = std::string(base != nullptr ? base : "/tmp/glimmark-register-test") + ".register." +
            std::to_string(getpid()) + ".db";
    RemoveFiles();
    saved_ = base != nullptr ? base : "";
    setenv("GLIMMARK_REGISTRY", path_.c_str(), 1);  // for the tool
    GlimmarkTest_UseRegistryFile(path_.c_str());    // for this process
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
  }
  void TearDown() override {
    CoFreeUnusedLibraries();
    CoUninitialize();
    GlimmarkTest_UseRegistryFile(nullptr);
    setenv("GLIMMARK_REGISTRY", saved_.c_str(), 1);
    RemoveFiles();
  }
  void RemoveFiles() {
    for (const char* suffix : {"", "-wal", "-shm"}) std::remove((path_ + suffix).c_str());
  }
  static bool ClassKeyExists(HKEY root) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, u"Software\\Classes\\tolvek.Glimmark", 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
      return false;
    }
    RegCloseKey(key);
    return true;
  }
  std::string path_;
  std::string saved_;
};

TEST_F(GlimmarkRegister, RegistersTheBuiltLibraryForAnotherClientAndRemovesIt) {
  const RunResult registered = RunGlimmark({"register"});
  ASSERT_EQ(registered.exitCode, 0) << registered.err;
  EXPECT_EQ(registered.out, "registered " + std::string(GLIMMARK_SERVER_LIBRARY) + " (machine)\n");

  CLSID clsid{};
  ASSERT_EQ(CLSIDFromProgID(u"tolvek.Glimmark", &clsid), S_OK);
  EXPECT_EQ(clsid, CLSID_Glimmark);
  IDispatch* object = nullptr;
  ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                             reinterpret_cast<void**>(&object)),
            S_OK);
  constexpr WORD kMethod = DISPATCH_METHOD | DISPATCH_PROPERTYGET;
  ScriptCall size, text, bytes;
  CallByName(object, u"SetSize", kMethod, {LONG{150}, LONG{50}}, &size);
  CallByName(object, u"SetRandomText", kMethod, {LONG{5}, LONG{5}}, &text);
  CallByName(object, u"SaveToVar", kMethod, {}, &bytes);
  object->Release();
  EXPECT_EQ(size.result, S_OK);
  EXPECT_EQ(text.result, S_OK);
  ASSERT_EQ(bytes.result, S_OK);
  EXPECT_EQ(bytes.value.vt, VT_ARRAY | VT_UI1);

  const RunResult removed = RunGlimmark({"register", "--unregister", GLIMMARK_SERVER_LIBRARY});
  ASSERT_EQ(removed.exitCode, 0) << removed.err;
  EXPECT_FALSE(ClassKeyExists(HKEY_LOCAL_MACHINE));
  EXPECT_EQ(CLSIDFromProgID(u"tolvek.Glimmark", &clsid), CO_E_CLASSSTRING);
  for (const char16_t* key : {u"CLSID\\{0F29AA7F-55FD-4FF4-B18E-5A333AA8235A}",
                              u"TypeLib\\{80F6FE80-9F2D-43E4-8591-09A0EDEDC8F5}",
                              u"Interface\\{F8E5AACD-9582-4760-A04A-D455BF7621E2}"}) {
    HKEY handle = nullptr;
    EXPECT_NE(RegOpenKeyExW(HKEY_CLASSES_ROOT, key, 0, KEY_READ, &handle), ERROR_SUCCESS)
        << std::string(key, key + std::char_traits<char16_t>::length(key));
  }
  HKEY shared = nullptr;
  EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"CLSID", 0, KEY_READ, &shared), ERROR_SUCCESS);
  RegCloseKey(shared);
}

TEST_F(GlimmarkRegister, PerUserGoesBeneathTheCurrentUser) {
  const RunResult registered = RunGlimmark({"register", "--user"});
  ASSERT_EQ(registered.exitCode, 0) << registered.err;
  EXPECT_NE(registered.out.find("(current user)"), std::string::npos) << registered.out;
  EXPECT_TRUE(ClassKeyExists(HKEY_CURRENT_USER));
  EXPECT_FALSE(ClassKeyExists(HKEY_LOCAL_MACHINE));
  ASSERT_EQ(RunGlimmark({"register", "--user", "--unregister"}).exitCode, 0);
  EXPECT_FALSE(ClassKeyExists(HKEY_CURRENT_USER));
}

// What the three look-ups answer now, each asked twice so that the second
// may come from what the first kept.
struct LookUps {
  HRESULT progId = E_FAIL, factory = E_FAIL, typeLibrary = E_FAIL;
};

LookUps LookUpTwice() {
  LookUps answers;
  for (int round = 0; round < 2; ++round) {
    CLSID clsid{};
    answers.progId = CLSIDFromProgID(u"tolvek.Glimmark", &clsid);
    IClassFactory* factory = nullptr;
    answers.factory = CoGetClassObject(CLSID_Glimmark, CLSCTX_INPROC_SERVER, nullptr,
                                       IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (factory != nullptr) factory->Release();
    ITypeLib* library = nullptr;
    constexpr LCID kEnglishUs = 0x409;  // the locale the library registers under
    answers.typeLibrary = LoadRegTypeLib(LIBID_GlimmarkPrjLib, 1, 0, kEnglishUs, &library);
    if (library != nullptr) library->Release();
  }
  return answers;
}

// The class, its factory and the type library are kept between look-ups, but
// a registration or removal by another process shows at the next one.
TEST_F(GlimmarkRegister, KeptLookUpsSeeAnotherProcessRegisterAndUnregister) {
  LookUps answers = LookUpTwice();
  EXPECT_EQ(answers.progId, CO_E_CLASSSTRING);
  EXPECT_EQ(answers.factory, REGDB_E_CLASSNOTREG);
  EXPECT_EQ(answers.typeLibrary, TYPE_E_LIBNOTREGISTERED);
  for (const bool perUser : {false, true}) {
    SCOPED_TRACE(perUser ? "per user" : "per machine");
    std::vector<std::string> registering = {"register"};
    if (perUser) registering.push_back("--user");
    ASSERT_EQ(RunGlimmark(registering).exitCode, 0);
    answers = LookUpTwice();
    EXPECT_EQ(answers.progId, S_OK);
    EXPECT_EQ(answers.factory, S_OK);
    EXPECT_EQ(answers.typeLibrary, S_OK);
    registering.push_back("--unregister");
    ASSERT_EQ(RunGlimmark(registering).exitCode, 0);
    answers = LookUpTwice();
    EXPECT_EQ(answers.progId, CO_E_CLASSSTRING);
    EXPECT_EQ(answers.factory, REGDB_E_CLASSNOTREG);
    EXPECT_EQ(answers.typeLibrary, TYPE_E_LIBNOTREGISTERED);
  }
}

// A type library in use is handed out again as the same object, but only
// while it stays registered: another process's removal shows at the next
// call even though the library is still held here.
TEST_F(GlimmarkRegister, AHeldTypeLibraryIsHandedOutAgainWhileRegistered) {
  constexpr LCID kEnglishUs = 0x409;  // the locale the library registers under
  ASSERT_EQ(RunGlimmark({"register"}).exitCode, 0);
  ITypeLib* held = nullptr;
  ASSERT_EQ(LoadRegTypeLib(LIBID_GlimmarkPrjLib, 1, 0, kEnglishUs, &held), S_OK);
  const LONG loads = GlimmarkTest_TypeLibraryLoads();
  ITypeLib* again = nullptr;
  EXPECT_EQ(LoadRegTypeLib(LIBID_GlimmarkPrjLib, 1, 0, kEnglishUs, &again), S_OK);
  EXPECT_EQ(again, held);
  EXPECT_EQ(GlimmarkTest_TypeLibraryLoads(), loads);
  if (again != nullptr) again->Release();

  ASSERT_EQ(RunGlimmark({"register", "--unregister"}).exitCode, 0);
  again = nullptr;
  EXPECT_EQ(LoadRegTypeLib(LIBID_GlimmarkPrjLib, 1, 0, kEnglishUs, &again),
            TYPE_E_LIBNOTREGISTERED);
  EXPECT_EQ(again, nullptr);
  ASSERT_EQ(RunGlimmark({"register"}).exitCode, 0);
  EXPECT_EQ(LoadRegTypeLib(LIBID_GlimmarkPrjLib, 1, 0, kEnglishUs, &again), S_OK);
  EXPECT_EQ(again, held);
  if (again != nullptr) again->Release();
  held->Release();
  ASSERT_EQ(RunGlimmark({"register", "--unregister"}).exitCode, 0);
}

TEST_F(GlimmarkRegister, FailuresNameTheStepAndTheirResult) {
  const RunResult missing = RunGlimmark({"register", "/no/such/libglimmark.so"});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_EQ(missing.err, "glimmark register: cannot load /no/such/libglimmark.so (0x8007007E)\n");
  const RunResult notAServer =
      RunGlimmark({"register", GLIMMARK_BINARY_DIR "/platform/libglimmark_platform.so"});
  EXPECT_EQ(notAServer.exitCode, 1);
  EXPECT_NE(notAServer.err.find("DllRegisterServer of "), std::string::npos) << notAServer.err;
  EXPECT_NE(notAServer.err.find("(0x800401F9)"), std::string::npos) << notAServer.err;
  EXPECT_EQ(RunGlimmark({"register", "--bogus"}).exitCode, 2);
}

}  // namespace
