// The server's module object: the process's global interface table, made
// once and held, and the functions run when the module ends, newest first.
#include "server/module.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "component/cglimmark.h"
#include "glimmark_test_seams.h"
#include "server/object_map.h"
#include "testing/counted_dispatch.h"

namespace {

// The references an object holds, seen through one AddRef and Release.
ULONG ReferencesOf(IUnknown* object) {
  object->AddRef();
  return object->Release();
}

TEST(ModuleGlobalInterfaceTable, MadeOnceHeldAndHandsInterfacesBack) {
  CGlimmarkPrjModule* module = CGlimmarkPrjModule::Current();
  ASSERT_NE(module, nullptr);
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
  EXPECT_EQ(module->GetGlobalInterfaceTable(nullptr), E_POINTER);
  IGlobalInterfaceTable* first = nullptr;
  IGlobalInterfaceTable* second = nullptr;
  ASSERT_EQ(module->GetGlobalInterfaceTable(&first), S_OK);
  const ULONG afterFirst = ReferencesOf(first);
  ASSERT_EQ(module->GetGlobalInterfaceTable(&second), S_OK);
  EXPECT_EQ(first, second);                         // the module holds the one it made
  EXPECT_EQ(ReferencesOf(second), afterFirst + 1);  // each caller gets a reference of its own

  CountedDispatch<> object;
  DWORD cookie = 0;
  ASSERT_EQ(first->RegisterInterfaceInGlobal(&object, IID_IDispatch, &cookie), S_OK);
  EXPECT_EQ(object.references, 2u);  // the table's own
  IDispatch* back = nullptr;
  ASSERT_EQ(second->GetInterfaceFromGlobal(cookie, IID_IDispatch, reinterpret_cast<void**>(&back)),
            S_OK);
  EXPECT_EQ(back, static_cast<IDispatch*>(&object));
  back->Release();
  EXPECT_EQ(first->RevokeInterfaceFromGlobal(cookie), S_OK);
  EXPECT_EQ(object.references, 1u);
  back = nullptr;
  EXPECT_NE(second->GetInterfaceFromGlobal(cookie, IID_IDispatch, reinterpret_cast<void**>(&back)),
            S_OK);
  EXPECT_EQ(back, nullptr);
  first->Release();
  EXPECT_EQ(ReferencesOf(second), afterFirst);
  second->Release();
  CoUninitialize();
}

// A map whose load failed (its lock could not be made) answers E_UNEXPECTED
// to every request, as DllGetClassObject does before the module is
// initialized, and makes no factory.
HRESULT RefusingFactory(CreateInstanceFunction, REFIID, void** object) {
  *object = nullptr;
  return E_FAIL;
}

TEST(ObjectMapBeforeInitialization, AnswersUnexpectedAndMakesNothing) {
  ObjectMapEntry entry = {&CLSID_Glimmark, nullptr, RefusingFactory, nullptr, nullptr};
  for (const bool earlierStepFailed : {true, false}) {
    bool loadFailed = earlierStepFailed;
    if (!earlierStepFailed) GlimmarkTest_FailNextLockCreation();
    CObjectMap map(&entry, 1, loadFailed);
    EXPECT_TRUE(loadFailed);
    void* factory = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(map.GetClassObject(CLSID_Glimmark, IID_IClassFactory, &factory), E_UNEXPECTED);
    EXPECT_EQ(factory, nullptr);
    EXPECT_EQ(entry.cachedFactory, nullptr);
  }
}

// The termination functions run when the module ends, which is at process
// exit: a child process adds three and exits; they write into a pipe.
int terminationPipe = -1;
void CALLBACK WriteDigit(DWORD_PTR digit) {
  const char text = static_cast<char>('0' + digit);
  if (write(terminationPipe, &text, 1) != 1) std::abort();
}

TEST(ModuleTermination, FunctionsRunNewestFirstWhenTheModuleEnds) {
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(ends[0]);
    terminationPipe = ends[1];
    CGlimmarkPrjModule* module = CGlimmarkPrjModule::Current();
    for (DWORD_PTR digit : {1, 2, 3}) {
      if (module == nullptr || module->AddTerminationFunction(WriteDigit, digit) != S_OK) {
        _exit(2);
      }
    }
    std::exit(0);  // runs the static destructors, the module's among them
  }
  close(ends[1]);
  std::string written;
  char buffer[16];
  for (ssize_t got; (got = read(ends[0], buffer, sizeof buffer)) > 0;) written.append(buffer, got);
  close(ends[0]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(written, "321");
}

}  // namespace
