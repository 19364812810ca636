// OLE Automation functions: automation strings (BSTR), variants and their
// conversions, safe arrays, error information. Every function fails with the
// Windows result code on bad input and never writes out of bounds.
#pragma once

#include "oaidl.h"

// Automation strings. A null BSTR is the empty string everywhere.
EXTERN_C PLATFORM_API BSTR WINAPI SysAllocString(const OLECHAR* text);
EXTERN_C PLATFORM_API BSTR WINAPI SysAllocStringLen(const OLECHAR* text, UINT length);
EXTERN_C PLATFORM_API BSTR WINAPI SysAllocStringByteLen(LPCSTR bytes, UINT length);
EXTERN_C PLATFORM_API INT WINAPI SysReAllocString(BSTR* target, const OLECHAR* text);
EXTERN_C PLATFORM_API UINT WINAPI SysStringLen(BSTR text);
EXTERN_C PLATFORM_API UINT WINAPI SysStringByteLen(BSTR text);
EXTERN_C PLATFORM_API void WINAPI SysFreeString(BSTR text);

// Variants.
EXTERN_C PLATFORM_API void WINAPI VariantInit(VARIANTARG* variant);
EXTERN_C PLATFORM_API HRESULT WINAPI VariantClear(VARIANTARG* variant);
EXTERN_C PLATFORM_API HRESULT WINAPI VariantCopy(VARIANTARG* destination, const VARIANTARG* source);
EXTERN_C PLATFORM_API HRESULT WINAPI VariantCopyInd(VARIANT* destination, const VARIANTARG* source);
EXTERN_C PLATFORM_API HRESULT WINAPI VariantChangeType(VARIANTARG* destination,
                                                       const VARIANTARG* source, USHORT flags,
                                                       VARTYPE type);
EXTERN_C PLATFORM_API HRESULT WINAPI VariantChangeTypeEx(VARIANTARG* destination,
                                                         const VARIANTARG* source, LCID lcid,
                                                         USHORT flags, VARTYPE type);
#define VARIANT_NOVALUEPROP 0x01
#define VARIANT_ALPHABOOL 0x02
#define VARIANT_NOUSEROVERRIDE 0x04
#define VARIANT_LOCALBOOL 0x10

// Scalar conversions from text.
EXTERN_C PLATFORM_API HRESULT WINAPI VarUI4FromStr(LPCOLESTR text, LCID lcid, ULONG flags,
                                                   ULONG* result);
EXTERN_C PLATFORM_API HRESULT WINAPI VarI4FromStr(LPCOLESTR text, LCID lcid, ULONG flags,
                                                  LONG* result);
EXTERN_C PLATFORM_API HRESULT WINAPI VarR8FromStr(LPCOLESTR text, LCID lcid, ULONG flags,
                                                  DOUBLE* result);

// Safe arrays.
EXTERN_C PLATFORM_API SAFEARRAY* WINAPI SafeArrayCreate(VARTYPE type, UINT dims,
                                                        SAFEARRAYBOUND* bounds);
EXTERN_C PLATFORM_API SAFEARRAY* WINAPI SafeArrayCreateVector(VARTYPE type, LONG lowerBound,
                                                              ULONG elements);
EXTERN_C PLATFORM_API HRESULT WINAPI SafeArrayDestroy(SAFEARRAY* array);
EXTERN_C PLATFORM_API HRESULT WINAPI SafeArrayCopy(SAFEARRAY* source, SAFEARRAY** destination);
EXTERN_C PLATFORM_API HRESULT WINAPI SafeArrayLock(SAFEARRAY* array);
EXTERN_C PLATFORM_API HRESULT WINAPI SafeArrayUnlock(SAFEARRAY* array);
EXTERN_C PLATFORM_API HRESULT WINAPI SafeArrayAccessData(SAFEARRAY* array, void** data);
EXTERN_C PLATFORM_API HRESULT WINAPI SafeArrayUnaccessData(SAFEARRAY* array);
EXTERN_C PLATFORM_API HRESULT WINAPI SafeArrayGetLBound(SAFEARRAY* array, UINT dim, LONG* bound);
EXTERN_C PLATFORM_API HRESULT WINAPI SafeArrayGetUBound(SAFEARRAY* array, UINT dim, LONG* bound);
EXTERN_C PLATFORM_API UINT WINAPI SafeArrayGetDim(SAFEARRAY* array);
EXTERN_C PLATFORM_API UINT WINAPI SafeArrayGetElemsize(SAFEARRAY* array);
EXTERN_C PLATFORM_API HRESULT WINAPI SafeArrayGetVartype(SAFEARRAY* array, VARTYPE* type);
EXTERN_C PLATFORM_API HRESULT WINAPI SafeArrayPtrOfIndex(SAFEARRAY* array, LONG* indices,
                                                         void** element);

// Error information of the calling thread.
EXTERN_C PLATFORM_API HRESULT WINAPI CreateErrorInfo(ICreateErrorInfo** errorInfo);
EXTERN_C PLATFORM_API HRESULT WINAPI SetErrorInfo(ULONG reserved, IErrorInfo* errorInfo);
EXTERN_C PLATFORM_API HRESULT WINAPI GetErrorInfo(ULONG reserved, IErrorInfo** errorInfo);

// Type libraries (platform/ole/type_library_*). LoadTypeLib reads a .tlb file
// in the binary "MSFT" format; the registry functions keep Windows' key
// layout beneath TypeLib\{libid} and Interface\{iid} of the classes root
// (HKEY_CLASSES_ROOT, or HKEY_CURRENT_USER\Software\Classes for the *ForUser
// forms).
EXTERN_C PLATFORM_API HRESULT WINAPI LoadTypeLib(LPCOLESTR szFile, ITypeLib** pptlib);
EXTERN_C PLATFORM_API HRESULT WINAPI LoadRegTypeLib(REFGUID rguid, WORD wVerMajor, WORD wVerMinor,
                                                    LCID lcid, ITypeLib** pptlib);
EXTERN_C PLATFORM_API HRESULT WINAPI QueryPathOfRegTypeLib(REFGUID guid, USHORT wMaj, USHORT wMin,
                                                           LCID lcid, BSTR* lpbstrPathName);
EXTERN_C PLATFORM_API HRESULT WINAPI RegisterTypeLib(ITypeLib* ptlib, LPCOLESTR szFullPath,
                                                     LPCOLESTR szHelpDir);
EXTERN_C PLATFORM_API HRESULT WINAPI RegisterTypeLibForUser(ITypeLib* ptlib, OLECHAR* szFullPath,
                                                            OLECHAR* szHelpDir);
EXTERN_C PLATFORM_API HRESULT WINAPI UnRegisterTypeLib(REFGUID libID, WORD wVerMajor,
                                                       WORD wVerMinor, LCID lcid, SYSKIND syskind);
EXTERN_C PLATFORM_API HRESULT WINAPI UnRegisterTypeLibForUser(REFGUID libID, WORD wMajorVerNum,
                                                              WORD wMinorVerNum, LCID lcid,
                                                              SYSKIND syskind);
// The hash oleaut32 keeps with every name of a type library.
EXTERN_C PLATFORM_API ULONG WINAPI LHashValOfNameSys(SYSKIND syskind, LCID lcid, LPCOLESTR szName);
