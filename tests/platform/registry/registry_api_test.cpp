// The registry functions: Windows results, names, data, the classes view and
// handle misuse, against a fresh registry file per test.
#include <cstring>
#include <vector>

#include "support/scratch_registry.h"

namespace {

using Bytes = std::vector<BYTE>;

class RegistryApi : public ScratchRegistry {
 protected:
  HKEY Create(HKEY root, const char16_t* path, DWORD* disposition = nullptr) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExW(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                              nullptr, &key, disposition),
              ERROR_SUCCESS);
    return key;
  }
  LSTATUS Open(HKEY root, const char16_t* path, HKEY* key, REGSAM access = KEY_READ) {
    return RegOpenKeyExW(root, path, 0, access, key);
  }
  bool Exists(HKEY root, const char16_t* path) {
    HKEY key = nullptr;
    if (Open(root, path, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
  }
  Bytes Read(HKEY key, const char16_t* name, DWORD* type = nullptr) {
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(key, name, nullptr, type, nullptr, &size), ERROR_SUCCESS);
    Bytes data(size);
    EXPECT_EQ(RegQueryValueExW(key, name, nullptr, nullptr, data.data(), &size), ERROR_SUCCESS);
    return data;
  }
  std::u16string SubkeyName(HKEY key, DWORD index) {
    char16_t name[256];
    DWORD length = 256;
    if (RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) != 0) {
      return u"<none>";
    }
    return std::u16string(name, length);
  }
};

TEST_F(RegistryApi, CreatesOpensAndKeepsTheFirstSpelling) {
  DWORD disposition = 0;
  HKEY key = Create(HKEY_LOCAL_MACHINE, u"Alpha\\Beta", &disposition);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  RegCloseKey(key);
  key = Create(HKEY_LOCAL_MACHINE, u"ALPHA\\beta\\", &disposition);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  RegCloseKey(key);
  HKEY alpha = nullptr;
  ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, u"alpha", &alpha), ERROR_SUCCESS);
  EXPECT_EQ(SubkeyName(alpha, 0), u"Beta");
  EXPECT_EQ(SubkeyName(alpha, 1), u"<none>");
  RegCloseKey(alpha);
  EXPECT_FALSE(Exists(HKEY_CURRENT_USER, u"Alpha"));
  HKEY missing = reinterpret_cast<HKEY>(1);
  EXPECT_EQ(Open(HKEY_LOCAL_MACHINE, u"Alpha\\Gamma", &missing), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(missing, nullptr);
}

TEST_F(RegistryApi, RefusesMalformedPathsAndArguments) {
  HKEY key = nullptr;
  const std::u16string tooLong(256, u'k');
  EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, tooLong.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_INVALID_PARAMETER);
  const std::u16string longest(255, u'k');
  HKEY made = Create(HKEY_CURRENT_USER, longest.c_str());
  EXPECT_NE(made, nullptr);
  RegCloseKey(made);
  EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"a\\\\b", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"\\a", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"v", 0, nullptr, REG_OPTION_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_NOT_SUPPORTED);
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"a", 0, KEY_READ, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegDeleteKeyExW(HKEY_CURRENT_USER, u"a", 0, 1), ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryApi, StoresEveryValueTypeByteForByte) {
  HKEY key = Create(HKEY_CURRENT_USER, u"Values");
  const char16_t text[] = u"Glimmark";
  const char16_t multi[] = u"one\0two\0";  // with the implicit terminator: two strings, end
  const DWORD number = 0xA1B2C3D4;
  const Bytes binary = {0x00, 0xFF, 0x00, 0x7F};
  ASSERT_EQ(
      RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof(text)),
      ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(key, u"Multi", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(multi),
                           sizeof(multi)),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(key, u"Number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                           sizeof(number)),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(key, u"Bin", 0, REG_BINARY, binary.data(), 4), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(key, u"Empty", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);

  DWORD type = 0;
  Bytes stored = Read(key, u"", &type);  // "" and null both name the default value
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(stored, Bytes(reinterpret_cast<const BYTE*>(text),
                          reinterpret_cast<const BYTE*>(text) + sizeof(text)));
  stored = Read(key, u"MULTI", &type);
  EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
  EXPECT_EQ(0, std::memcmp(stored.data(), multi, sizeof(multi)));
  EXPECT_EQ(stored.size(), sizeof(multi));
  stored = Read(key, u"number", &type);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(stored, Bytes({0xD4, 0xC3, 0xB2, 0xA1}));
  EXPECT_EQ(Read(key, u"bin"), binary);
  EXPECT_TRUE(Read(key, u"Empty").empty());

  // A short buffer: ERROR_MORE_DATA, the needed size, the buffer untouched.
  BYTE small[3] = {9, 9, 9};
  DWORD size = sizeof(small);
  EXPECT_EQ(RegQueryValueExW(key, u"Bin", nullptr, &type, small, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(small[0], 9);
  EXPECT_EQ(RegQueryValueExW(key, u"Bin", nullptr, nullptr, small, nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegQueryValueExW(key, u"Absent", nullptr, nullptr, nullptr, &size),
            ERROR_FILE_NOT_FOUND);

  // Overwriting changes the data, not the spelling of the name.
  ASSERT_EQ(RegSetValueExW(key, u"NUMBER", 0, REG_BINARY, binary.data(), 2), ERROR_SUCCESS);
  char16_t name[32];
  DWORD nameLength = 32;
  std::vector<std::u16string> names;
  for (DWORD i = 0; nameLength = 32, RegEnumValueW(key, i, name, &nameLength, nullptr, nullptr,
                                                   nullptr, nullptr) == ERROR_SUCCESS;
       ++i) {
    names.emplace_back(name, nameLength);
  }
  EXPECT_EQ(names, (std::vector<std::u16string>{u"", u"Bin", u"Empty", u"Multi", u"Number"}));
  EXPECT_EQ(Read(key, u"Number", &type).size(), 2u);
  EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));

  EXPECT_EQ(RegDeleteValueW(key, u"bIN"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueW(key, u"Bin"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteValueW(key, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExW(key, nullptr, nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
  RegCloseKey(key);
}

TEST_F(RegistryApi, DeletesOnlyKeysWithoutSubkeys) {
  RegCloseKey(Create(HKEY_CURRENT_USER, u"Tree\\Leaf"));
  HKEY leaf = nullptr;
  ASSERT_EQ(Open(HKEY_CURRENT_USER, u"Tree\\Leaf", &leaf, KEY_ALL_ACCESS), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, u"Tree"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, u"Tree\\Missing"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyExW(HKEY_CURRENT_USER, u"tree\\LEAF", KEY_WOW64_64KEY, 0), ERROR_SUCCESS);
  // The open handle names the deleted key, not whatever takes its name next.
  RegCloseKey(Create(HKEY_CURRENT_USER, u"Tree\\Leaf"));
  const DWORD one = 1;
  EXPECT_EQ(RegSetValueExW(leaf, u"v", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4),
            ERROR_KEY_DELETED);
  EXPECT_EQ(RegCloseKey(leaf), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, u""), ERROR_ACCESS_DENIED);  // a hive root
  HKEY tree = nullptr;
  ASSERT_EQ(Open(HKEY_CURRENT_USER, u"Tree\\Leaf", &tree), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyW(tree, u""), ERROR_SUCCESS);  // the key itself
  RegCloseKey(tree);
  EXPECT_FALSE(Exists(HKEY_CURRENT_USER, u"Tree\\Leaf"));
}

TEST_F(RegistryApi, MisusedHandlesFailCleanly) {
  HKEY key = Create(HKEY_CURRENT_USER, u"Handles");
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExW(key, nullptr, nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
  for (HKEY bogus : {static_cast<HKEY>(nullptr), reinterpret_cast<HKEY>(0x1234),
                     reinterpret_cast<HKEY>(~uintptr_t{0}), reinterpret_cast<HKEY>(0x80000009)}) {
    HKEY out = nullptr;
    EXPECT_EQ(RegOpenKeyExW(bogus, u"x", 0, KEY_READ, &out), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(bogus), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegDeleteKeyW(bogus, u"x"), ERROR_INVALID_HANDLE);
  }
  // A stale handle stays stale when its slot is used again.
  HKEY next = Create(HKEY_CURRENT_USER, u"Handles");
  EXPECT_NE(next, key);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(next), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
  HKEY out = nullptr;
  EXPECT_EQ(RegOpenKeyExW(HKEY_PERFORMANCE_DATA, nullptr, 0, KEY_READ, &out), ERROR_NOT_SUPPORTED);
}

TEST_F(RegistryApi, EnforcesTheRightsAHandleWasOpenedWith) {
  RegCloseKey(Create(HKEY_CURRENT_USER, u"Rights"));
  HKEY reader = nullptr;
  ASSERT_EQ(Open(HKEY_CURRENT_USER, u"Rights", &reader, KEY_READ), ERROR_SUCCESS);
  const DWORD one = 1;
  EXPECT_EQ(RegSetValueExW(reader, u"v", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4),
            ERROR_ACCESS_DENIED);
  HKEY child = nullptr;
  EXPECT_EQ(
      RegCreateKeyExW(reader, u"child", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr),
      ERROR_ACCESS_DENIED);
  RegCloseKey(reader);
  HKEY writer = nullptr;
  ASSERT_EQ(Open(HKEY_CURRENT_USER, u"Rights", &writer, KEY_SET_VALUE), ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExW(writer, u"v", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4),
            ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExW(writer, u"v", nullptr, nullptr, nullptr, &size), ERROR_ACCESS_DENIED);
  RegCloseKey(writer);
}

TEST_F(RegistryApi, CountsAndEnumeratesSubkeysAndValues) {
  HKEY key = Create(HKEY_USERS, u"Info");
  RegCloseKey(Create(key, u"bb"));
  RegCloseKey(Create(key, u"A"));
  RegCloseKey(Create(key, u"ccc"));
  const BYTE data[5] = {1, 2, 3, 4, 5};
  RegSetValueExW(key, u"Value", 0, REG_BINARY, data, 5);
  DWORD subkeys = 0, longestSubkey = 0, values = 0, longestName = 0, longestData = 0;
  ASSERT_EQ(RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, &longestSubkey, nullptr,
                             &values, &longestName, &longestData, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(subkeys, 3u);
  EXPECT_EQ(longestSubkey, 3u);
  EXPECT_EQ(values, 1u);
  EXPECT_EQ(longestName, 5u);
  EXPECT_EQ(longestData, 5u);
  EXPECT_EQ(SubkeyName(key, 0), u"A");  // ordered without regard to case
  EXPECT_EQ(SubkeyName(key, 1), u"bb");
  char16_t name[3];
  DWORD length = 3;
  EXPECT_EQ(RegEnumKeyExW(key, 2, name, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_MORE_DATA);
  length = 4;
  char16_t wide[4];
  EXPECT_EQ(RegEnumKeyExW(key, 2, wide, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(length, 3u);
  EXPECT_EQ(RegEnumKeyExW(key, 3, wide, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);
  RegCloseKey(key);
}

TEST_F(RegistryApi, ClassesRootWritesToTheMachineAndReadsTheUserFirst) {
  HKEY made = Create(HKEY_CLASSES_ROOT, u"Shared\\Machine");
  const char16_t machineText[] = u"machine";
  RegSetValueExW(made, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(machineText),
                 sizeof(machineText));
  RegCloseKey(made);
  EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, u"Software\\Classes\\Shared\\Machine"));
  EXPECT_FALSE(Exists(HKEY_CURRENT_USER, u"Software\\Classes\\Shared"));

  // A user key of the same name hides the machine's value and adds subkeys.
  HKEY user = Create(HKEY_CURRENT_USER, u"Software\\Classes\\shared\\Machine");
  const char16_t userText[] = u"user";
  RegSetValueExW(user, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(userText),
                 sizeof(userText));
  RegCloseKey(user);
  RegCloseKey(Create(HKEY_CURRENT_USER, u"Software\\Classes\\Shared\\UserOnly"));
  HKEY seen = nullptr;
  ASSERT_EQ(Open(HKEY_CLASSES_ROOT, u"SHARED\\machine", &seen), ERROR_SUCCESS);
  Bytes value = Read(seen, nullptr);
  EXPECT_EQ(0, std::memcmp(value.data(), userText, sizeof(userText)));
  RegCloseKey(seen);
  HKEY shared = nullptr;
  ASSERT_EQ(Open(HKEY_CLASSES_ROOT, u"Shared", &shared, KEY_ALL_ACCESS), ERROR_SUCCESS);
  EXPECT_EQ(SubkeyName(shared, 0), u"Machine");
  EXPECT_EQ(SubkeyName(shared, 1), u"UserOnly");
  EXPECT_EQ(SubkeyName(shared, 2), u"<none>");

  // Deleting through the view takes the machine's key first, then the user's.
  EXPECT_EQ(RegDeleteKeyW(shared, u"Machine"), ERROR_SUCCESS);
  EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, u"Software\\Classes\\Shared\\Machine"));
  EXPECT_TRUE(Exists(HKEY_CLASSES_ROOT, u"Shared\\Machine"));
  EXPECT_EQ(RegDeleteKeyW(shared, u"Machine"), ERROR_SUCCESS);
  EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, u"Shared\\Machine"));
  RegCloseKey(shared);
  EXPECT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, u""), ERROR_ACCESS_DENIED);
}

TEST_F(RegistryApi, KeepsItsDataWhenTheFileIsOpenedAgain) {
  HKEY key = Create(HKEY_LOCAL_MACHINE, u"Durable");
  const DWORD number = 7;
  RegSetValueExW(key, u"n", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4);
  GlimmarkTest_UseRegistryFile(path_.c_str());
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);  // handles do not survive a reopen
  ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, u"durable", &key), ERROR_SUCCESS);
  EXPECT_EQ(Read(key, u"N"), Bytes({7, 0, 0, 0}));
  RegCloseKey(key);
  EXPECT_EQ(GlimmarkTest_CheckRegistryIntegrity(), ERROR_SUCCESS);
}

}  // namespace
