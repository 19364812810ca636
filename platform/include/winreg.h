// Registry functions with their Windows names, values and signatures. The
// platform's registry layer (platform/registry/) keeps the hives in one SQLite
// file; callers own the handles they open and close them with RegCloseKey.
#pragma once

#include "windef.h"
#include "winerror.h"

struct HKEY__;
typedef HKEY__* HKEY;
typedef HKEY* PHKEY;
typedef DWORD ACCESS_MASK;
typedef ACCESS_MASK REGSAM;
typedef LONG LSTATUS;

// Usually declared by the base headers; the registry functions only accept
// and ignore it.
#ifndef GLIMMARK_HAVE_SECURITY_ATTRIBUTES
#define GLIMMARK_HAVE_SECURITY_ATTRIBUTES
typedef struct _SECURITY_ATTRIBUTES {
  DWORD nLength;
  LPVOID lpSecurityDescriptor;
  BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *PSECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;
#endif

// Predefined keys: sign-extended 32-bit values, as on 64-bit Windows.
#define GLIMMARK_PREDEFINED_KEY(value) ((HKEY)(ULONG_PTR)((LONG)(value)))
#define HKEY_CLASSES_ROOT GLIMMARK_PREDEFINED_KEY(0x80000000)  // merged classes view
#define HKEY_CURRENT_USER GLIMMARK_PREDEFINED_KEY(0x80000001)
#define HKEY_LOCAL_MACHINE GLIMMARK_PREDEFINED_KEY(0x80000002)
#define HKEY_USERS GLIMMARK_PREDEFINED_KEY(0x80000003)
#define HKEY_PERFORMANCE_DATA GLIMMARK_PREDEFINED_KEY(0x80000004)  // not supported here
#define HKEY_CURRENT_CONFIG GLIMMARK_PREDEFINED_KEY(0x80000005)    // not supported here
#define HKEY_DYN_DATA GLIMMARK_PREDEFINED_KEY(0x80000006)          // not supported here

// Standard and key-specific access rights.
#define DELETE 0x00010000L
#define READ_CONTROL 0x00020000L
#define WRITE_DAC 0x00040000L
#define WRITE_OWNER 0x00080000L
#define SYNCHRONIZE 0x00100000L
#define STANDARD_RIGHTS_REQUIRED 0x000F0000L
#define STANDARD_RIGHTS_READ READ_CONTROL
#define STANDARD_RIGHTS_WRITE READ_CONTROL
#define STANDARD_RIGHTS_EXECUTE READ_CONTROL
#define STANDARD_RIGHTS_ALL 0x001F0000L
#define MAXIMUM_ALLOWED 0x02000000L
#define GENERIC_READ 0x80000000L
#define GENERIC_WRITE 0x40000000L
#define GENERIC_EXECUTE 0x20000000L
#define GENERIC_ALL 0x10000000L

#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_CREATE_LINK 0x0020
#define KEY_WOW64_64KEY 0x0100  // accepted and ignored: there is one view
#define KEY_WOW64_32KEY 0x0200  // accepted and ignored: there is one view
#define KEY_WOW64_RES 0x0300
#define KEY_READ \
  ((STANDARD_RIGHTS_READ | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY) & (~SYNCHRONIZE))
#define KEY_WRITE ((STANDARD_RIGHTS_WRITE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY) & (~SYNCHRONIZE))
#define KEY_EXECUTE ((KEY_READ) & (~SYNCHRONIZE))
#define KEY_ALL_ACCESS                                                           \
  ((STANDARD_RIGHTS_ALL | KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY | \
    KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY | KEY_CREATE_LINK) &                     \
   (~SYNCHRONIZE))

// RegCreateKeyExW options and dispositions.
#define REG_OPTION_RESERVED 0x00000000L
#define REG_OPTION_NON_VOLATILE 0x00000000L
#define REG_OPTION_VOLATILE 0x00000001L  // not supported here: ERROR_NOT_SUPPORTED
#define REG_OPTION_CREATE_LINK 0x00000002L
#define REG_OPTION_BACKUP_RESTORE 0x00000004L
#define REG_OPTION_OPEN_LINK 0x00000008L
#define REG_LEGAL_OPTION                                                                          \
  (REG_OPTION_RESERVED | REG_OPTION_NON_VOLATILE | REG_OPTION_VOLATILE | REG_OPTION_CREATE_LINK | \
   REG_OPTION_BACKUP_RESTORE | REG_OPTION_OPEN_LINK)
#define REG_CREATED_NEW_KEY 0x00000001L
#define REG_OPENED_EXISTING_KEY 0x00000002L

// Value types. Data of every type is stored and returned byte for byte.
#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_DWORD_LITTLE_ENDIAN 4
#define REG_DWORD_BIG_ENDIAN 5
#define REG_LINK 6
#define REG_MULTI_SZ 7
#define REG_RESOURCE_LIST 8
#define REG_FULL_RESOURCE_DESCRIPTOR 9
#define REG_RESOURCE_REQUIREMENTS_LIST 10
#define REG_QWORD 11
#define REG_QWORD_LITTLE_ENDIAN 11

// Every function below runs as one transaction on the registry file and
// returns ERROR_SUCCESS or a Win32 error code. A subkey path may name several
// levels separated by backslashes; names compare without regard to case and
// keep the spelling they were created with.

EXTERN_C PLATFORM_API LSTATUS WINAPI RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved,
                                                     LPWSTR lpClass, DWORD dwOptions,
                                                     REGSAM samDesired,
                                                     LPSECURITY_ATTRIBUTES lpSecurityAttributes,
                                                     PHKEY phkResult, LPDWORD lpdwDisposition);
EXTERN_C PLATFORM_API LSTATUS WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions,
                                                   REGSAM samDesired, PHKEY phkResult);
EXTERN_C PLATFORM_API LSTATUS WINAPI RegCloseKey(HKEY hKey);
EXTERN_C PLATFORM_API LSTATUS WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved,
                                                    DWORD dwType, const BYTE* lpData, DWORD cbData);
EXTERN_C PLATFORM_API LSTATUS WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName,
                                                      LPDWORD lpReserved, LPDWORD lpType,
                                                      LPBYTE lpData, LPDWORD lpcbData);
EXTERN_C PLATFORM_API LSTATUS WINAPI RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName);
EXTERN_C PLATFORM_API LSTATUS WINAPI RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey);
EXTERN_C PLATFORM_API LSTATUS WINAPI RegDeleteKeyExW(HKEY hKey, LPCWSTR lpSubKey, REGSAM samDesired,
                                                     DWORD Reserved);
EXTERN_C PLATFORM_API LSTATUS WINAPI RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName,
                                                   LPDWORD lpcchName, LPDWORD lpReserved,
                                                   LPWSTR lpClass, LPDWORD lpcchClass,
                                                   PFILETIME lpftLastWriteTime);
EXTERN_C PLATFORM_API LSTATUS WINAPI RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName,
                                                   LPDWORD lpcchValueName, LPDWORD lpReserved,
                                                   LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);
EXTERN_C PLATFORM_API LSTATUS WINAPI
RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                 LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                 LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                 LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime);

// This platform's own, with no Windows counterpart: the registry file that
// the registry functions of this process open ($GLIMMARK_REGISTRY, else
// $XDG_DATA_HOME/glimmark/registry.db, else ~/.local/share/glimmark/registry.db),
// as UTF-8 with its terminator in `buffer` of `size` bytes. Returns the
// length without the terminator; 0 when no location can be found or it does
// not fit. Tools name it in their messages.
EXTERN_C PLATFORM_API DWORD WINAPI GlimmarkRegistryFile(char* buffer, DWORD size);
