// GetModuleHandleW / GetProcAddress for the platform's system libraries, as
// the registrar uses them to find RegDeleteKeyExW.
#include <gtest/gtest.h>
#include <windows.h>

namespace {

TEST(ModuleLookup, FindsSystemLibrariesWithoutRegardToCase) {
  const HMODULE advapi = GetModuleHandleW(u"Advapi32.dll");
  ASSERT_NE(advapi, nullptr);
  EXPECT_EQ(GetModuleHandleW(u"ADVAPI32.DLL"), advapi);
  EXPECT_EQ(GetModuleHandleW(u"advapi32"), advapi);
  EXPECT_NE(GetModuleHandleW(u"OLEAUT32.DLL"), nullptr);
  SetLastError(0);
  EXPECT_EQ(GetModuleHandleW(u"advapi33.dll"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  EXPECT_EQ(GetModuleHandleW(u".dll"), nullptr);
}

TEST(ModuleLookup, AnswersOnlyThePlatformsOwnExports) {
  const HMODULE advapi = GetModuleHandleW(u"Advapi32.dll");
  const FARPROC found = GetProcAddress(advapi, "RegDeleteKeyExW");
  EXPECT_EQ(reinterpret_cast<void*>(found), reinterpret_cast<void*>(&RegDeleteKeyExW));
  SetLastError(0);
  EXPECT_EQ(GetProcAddress(advapi, "NoSuchFunction"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  EXPECT_EQ(GetProcAddress(advapi, "sqlite3_open"), nullptr);  // a dependency's, not ours
  EXPECT_EQ(GetProcAddress(advapi, reinterpret_cast<LPCSTR>(12)), nullptr);  // ordinal
  EXPECT_EQ(GetProcAddress(nullptr, "RegDeleteKeyExW"), nullptr);
}

}  // namespace
