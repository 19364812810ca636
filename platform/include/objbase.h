// COM base services. Includes the interface and automation type headers.
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
