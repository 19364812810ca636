// COM base services: task memory, GUID text, apartments and the making of
// objects of in-process servers. Includes the interface and automation type
// headers.
#pragma once

#include "oaidl.h"
#include "objidl.h"
#include "unknwn.h"
#include "wtypes.h"

typedef enum tagCLSCTX {
  CLSCTX_INPROC_SERVER = 0x1,
  CLSCTX_INPROC_HANDLER = 0x2,
  CLSCTX_LOCAL_SERVER = 0x4,
  CLSCTX_REMOTE_SERVER = 0x10,
  CLSCTX_ALL = 0x17
} CLSCTX;

typedef enum tagCOINIT {
  COINIT_APARTMENTTHREADED = 0x2,
  COINIT_MULTITHREADED = 0x0,
  COINIT_DISABLE_OLE1DDE = 0x4,
  COINIT_SPEED_OVER_MEMORY = 0x8
} COINIT;

EXTERN_C PLATFORM_API void* WINAPI CoTaskMemAlloc(SIZE_T size);
EXTERN_C PLATFORM_API void* WINAPI CoTaskMemRealloc(void* block, SIZE_T size);
EXTERN_C PLATFORM_API void WINAPI CoTaskMemFree(void* block);
EXTERN_C PLATFORM_API HRESULT WINAPI StringFromGUID2(REFGUID guid, LPOLESTR text, int capacity);
EXTERN_C PLATFORM_API HRESULT WINAPI CLSIDFromString(LPCOLESTR text, LPCLSID clsid);

// Apartments: each thread enters one with CoInitializeEx (S_OK the first
// time, S_FALSE again, RPC_E_CHANGED_MODE for the other model) and leaves it
// with as many CoUninitialize calls. Objects are made only on threads that
// entered one (else CO_E_NOTINITIALIZED).
EXTERN_C PLATFORM_API HRESULT WINAPI CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
EXTERN_C PLATFORM_API void WINAPI CoUninitialize(void);

// The CLSID that the registry's classes root gives for a ProgID
// (HKCR\<ProgID>\CLSID); CO_E_CLASSSTRING when it has none.
EXTERN_C PLATFORM_API HRESULT WINAPI CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid);

// In-process servers only (CLSCTX_INPROC_SERVER): the library named by
// HKCR\CLSID\{clsid}\InprocServer32 is loaded once and kept, and its
// DllGetClassObject asked for the class object. REGDB_E_CLASSNOTREG when the
// class has no such entry; the loader's failure as an HRESULT (a refused
// entry point: HRESULT_FROM_WIN32(ERROR_DLL_INIT_FAILED)); CO_E_ERRORINDLL
// when the library has no DllGetClassObject.
EXTERN_C PLATFORM_API HRESULT WINAPI CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext,
                                                      LPVOID pvReserved, REFIID riid, LPVOID* ppv);
// CoGetClassObject for IClassFactory, then its CreateInstance.
EXTERN_C PLATFORM_API HRESULT WINAPI CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter,
                                                      DWORD dwClsContext, REFIID riid, LPVOID* ppv);
// Unloads the kept libraries whose DllCanUnloadNow answers S_OK; their
// process-detach step runs.
EXTERN_C PLATFORM_API void WINAPI CoFreeUnusedLibraries(void);

// The classes the platform itself serves in-process.
EXTERN_C PLATFORM_API const CLSID CLSID_StdGlobalInterfaceTable;

// Exported by every in-process server library (not by the platform).
STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv);
STDAPI DllCanUnloadNow(void);
