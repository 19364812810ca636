// Safe arrays: creation, copying and destruction. A descriptor is one block:
// 16 hidden bytes (the element IID for interface arrays, else the VARTYPE in
// the last four), then the SAFEARRAY header whose bounds run last dimension
// first, as on Windows. The elements live in a second block owned by the
// descriptor; destroying the array frees the BSTRs, variants and interface
// references it holds.
#include <cstdlib>
#include <cstring>

#include "ole/automation/automation_limits.h"
#include "ole/automation/variant_types.h"
#include "oleauto.h"

namespace {

using glimmark::ole::kMaxAutomationBytes;
using glimmark::ole::kMaxSafeArrayDimensions;

constexpr size_t kHiddenBytes = 16;
constexpr USHORT kElementKindFeatures = FADF_BSTR | FADF_UNKNOWN | FADF_DISPATCH | FADF_VARIANT;
// Storage the caller provides: never freed here.
constexpr USHORT kForeignStorageFeatures = FADF_AUTO | FADF_STATIC | FADF_EMBEDDED;

static_assert(sizeof(VARIANT) == 24, "VARIANT must keep the Windows 64-bit layout");

// Element size of `vt`, 0 for types an array cannot hold.
ULONG ElementSize(VARTYPE vt) {
  switch (vt) {
    case VT_BSTR:
    case VT_UNKNOWN:
    case VT_DISPATCH:
    case VT_INT_PTR:
    case VT_UINT_PTR:
      return sizeof(void*);
    case VT_VARIANT:
      return sizeof(VARIANT);
    case VT_DECIMAL:
      return sizeof(DECIMAL);
    default:
      return static_cast<ULONG>(glimmark::ole::ScalarByteSize(vt));
  }
}

char* HiddenBlockOf(SAFEARRAY* array) { return reinterpret_cast<char*>(array) - kHiddenBytes; }

void SetHiddenVartype(SAFEARRAY* array, VARTYPE vt) {
  const DWORD value = vt;
  std::memcpy(HiddenBlockOf(array) + kHiddenBytes - sizeof(value), &value, sizeof(value));
}

DWORD HiddenVartype(SAFEARRAY* array) {
  DWORD value;
  std::memcpy(&value, HiddenBlockOf(array) + kHiddenBytes - sizeof(value), sizeof(value));
  return value;
}

void SetHiddenIid(SAFEARRAY* array, const IID& iid) {
  std::memcpy(HiddenBlockOf(array), &iid, sizeof(iid));
}

IID HiddenIid(SAFEARRAY* array) {
  IID iid;
  std::memcpy(&iid, HiddenBlockOf(array), sizeof(iid));
  return iid;
}

// The features Windows gives an array of `vt`: what the elements own, and
// where the element type is recorded (IID for interfaces, else the VARTYPE).
USHORT FeaturesFor(VARTYPE vt) {
  switch (vt) {
    case VT_BSTR:
      return FADF_HAVEVARTYPE | FADF_BSTR;
    case VT_VARIANT:
      return FADF_HAVEVARTYPE | FADF_VARIANT;
    case VT_UNKNOWN:
      return FADF_HAVEIID | FADF_UNKNOWN;
    case VT_DISPATCH:
      return FADF_HAVEIID | FADF_DISPATCH;
    default:
      return FADF_HAVEVARTYPE;
  }
}

// Allocates a zeroed descriptor for `dims` dimensions (the hidden bytes
// included); null when out of memory.
SAFEARRAY* AllocateDescriptor(UINT dims) {
  const size_t header = offsetof(SAFEARRAY, rgsabound) + dims * sizeof(SAFEARRAYBOUND);
  char* block = static_cast<char*>(std::calloc(1, kHiddenBytes + header));
  if (block == nullptr) return nullptr;
  auto* array = reinterpret_cast<SAFEARRAY*>(block + kHiddenBytes);
  array->cDims = static_cast<USHORT>(dims);
  return array;
}

void FreeDescriptor(SAFEARRAY* array) { std::free(HiddenBlockOf(array)); }

// Number of elements over all dimensions; false when it overflows.
bool CountElements(const SAFEARRAY* array, uint64_t* count) {
  uint64_t total = 1;
  for (USHORT i = 0; i < array->cDims; ++i) {
    if (__builtin_mul_overflow(total, uint64_t{array->rgsabound[i].cElements}, &total)) {
      return false;
    }
  }
  *count = total;
  return true;
}

// Byte size of the element block; false beyond kMaxAutomationBytes.
bool DataBytes(const SAFEARRAY* array, size_t* bytes) {
  uint64_t count = 0;
  uint64_t total = 0;
  if (!CountElements(array, &count)) return false;
  if (__builtin_mul_overflow(count, uint64_t{array->cbElements}, &total)) return false;
  if (total > kMaxAutomationBytes) return false;
  *bytes = static_cast<size_t>(total);
  return true;
}

// Allocates the zeroed element block (at least one byte, so the data pointer
// of an empty array is not null).
bool AllocateData(SAFEARRAY* array) {
  size_t bytes = 0;
  if (!DataBytes(array, &bytes)) return false;
  array->pvData = std::calloc(bytes == 0 ? 1 : bytes, 1);
  return array->pvData != nullptr;
}

// Frees what each element owns, leaving the elements zeroed.
void ClearElements(SAFEARRAY* array) {
  const USHORT kind = array->fFeatures & kElementKindFeatures;
  if (kind == 0 || array->pvData == nullptr) return;
  uint64_t count = 0;
  if (!CountElements(array, &count)) return;
  for (uint64_t i = 0; i < count; ++i) {
    void* element = static_cast<char*>(array->pvData) + i * array->cbElements;
    if (kind & FADF_BSTR) {
      SysFreeString(*static_cast<BSTR*>(element));
    } else if (kind & FADF_VARIANT) {
      VariantClear(static_cast<VARIANT*>(element));
    } else if (IUnknown* object = *static_cast<IUnknown**>(element)) {
      object->Release();
    }
  }
  std::memset(array->pvData, 0, static_cast<size_t>(count) * array->cbElements);
}

// Copies the elements of `source` into the zeroed block of `target`: new
// BSTRs, deep-copied variants, one more reference on each interface.
HRESULT CopyElements(SAFEARRAY* source, SAFEARRAY* target) {
  size_t bytes = 0;
  if (!DataBytes(source, &bytes)) return E_INVALIDARG;
  const USHORT kind = source->fFeatures & kElementKindFeatures;
  if (kind == 0) {
    std::memcpy(target->pvData, source->pvData, bytes);
    return S_OK;
  }
  const size_t count = bytes / source->cbElements;
  for (size_t i = 0; i < count; ++i) {
    void* from = static_cast<char*>(source->pvData) + i * source->cbElements;
    void* to = static_cast<char*>(target->pvData) + i * source->cbElements;
    if (kind & FADF_BSTR) {
      const BSTR text = *static_cast<BSTR*>(from);
      if (text == nullptr) continue;
      BSTR copy = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(text), SysStringByteLen(text));
      if (copy == nullptr) return E_OUTOFMEMORY;
      *static_cast<BSTR*>(to) = copy;
    } else if (kind & FADF_VARIANT) {
      const HRESULT hr = VariantCopy(static_cast<VARIANT*>(to), static_cast<VARIANT*>(from));
      if (FAILED(hr)) return hr;
    } else if (IUnknown* object = *static_cast<IUnknown**>(from)) {
      object->AddRef();
      *static_cast<IUnknown**>(to) = object;
    }
  }
  return S_OK;
}

// Frees elements, element block and descriptor of an array made here.
void FreeArray(SAFEARRAY* array) {
  ClearElements(array);
  if (!(array->fFeatures & kForeignStorageFeatures)) std::free(array->pvData);
  FreeDescriptor(array);
}

}  // namespace

// Bounds are given first dimension first and stored last dimension first.
EXTERN_C SAFEARRAY* WINAPI SafeArrayCreate(VARTYPE type, UINT dims, SAFEARRAYBOUND* bounds) {
  const ULONG elementSize = ElementSize(type);
  if (bounds == nullptr || dims == 0 || dims > kMaxSafeArrayDimensions || elementSize == 0) {
    return nullptr;
  }
  SAFEARRAY* array = AllocateDescriptor(dims);
  if (array == nullptr) return nullptr;
  for (UINT i = 0; i < dims; ++i) array->rgsabound[i] = bounds[dims - 1 - i];
  array->cbElements = elementSize;
  array->fFeatures = FeaturesFor(type);
  if (array->fFeatures & FADF_HAVEIID) {
    SetHiddenIid(array, type == VT_DISPATCH ? IID_IDispatch : IID_IUnknown);
  } else {
    SetHiddenVartype(array, type);
  }
  if (!AllocateData(array)) {
    FreeDescriptor(array);
    return nullptr;
  }
  return array;
}

EXTERN_C SAFEARRAY* WINAPI SafeArrayCreateVector(VARTYPE type, LONG lowerBound, ULONG elements) {
  SAFEARRAYBOUND bound = {elements, lowerBound};
  return SafeArrayCreate(type, 1, &bound);
}

EXTERN_C HRESULT WINAPI SafeArrayDestroy(SAFEARRAY* array) {
  if (array == nullptr) return S_OK;
  if (__atomic_load_n(&array->cLocks, __ATOMIC_SEQ_CST) != 0) return DISP_E_ARRAYISLOCKED;
  FreeArray(array);
  return S_OK;
}

// A null source copies to a null array. The copy is unlocked and owns its
// storage even when the source's was provided by its caller.
EXTERN_C HRESULT WINAPI SafeArrayCopy(SAFEARRAY* source, SAFEARRAY** destination) {
  if (destination == nullptr) return E_INVALIDARG;
  *destination = nullptr;
  if (source == nullptr) return S_OK;
  if (source->cbElements == 0 || source->cDims == 0 || source->cDims > kMaxSafeArrayDimensions) {
    return E_INVALIDARG;
  }
  SAFEARRAY* copy = AllocateDescriptor(source->cDims);
  if (copy == nullptr) return E_OUTOFMEMORY;
  if (source->fFeatures & (FADF_HAVEIID | FADF_HAVEVARTYPE)) {
    std::memcpy(HiddenBlockOf(copy), HiddenBlockOf(source), kHiddenBytes);
  }
  std::memcpy(copy->rgsabound, source->rgsabound, source->cDims * sizeof(SAFEARRAYBOUND));
  copy->cbElements = source->cbElements;
  copy->fFeatures = source->fFeatures & ~kForeignStorageFeatures;
  if (!AllocateData(copy)) {
    FreeDescriptor(copy);
    return E_OUTOFMEMORY;
  }
  const HRESULT hr = CopyElements(source, copy);
  if (FAILED(hr)) {
    FreeArray(copy);
    return hr;
  }
  *destination = copy;
  return S_OK;
}

EXTERN_C HRESULT WINAPI SafeArrayGetVartype(SAFEARRAY* array, VARTYPE* type) {
  if (array == nullptr || type == nullptr) return E_INVALIDARG;
  if (array->fFeatures & FADF_HAVEIID) {
    *type = HiddenIid(array) == IID_IDispatch ? VT_DISPATCH : VT_UNKNOWN;
  } else if (array->fFeatures & FADF_HAVEVARTYPE) {
    *type = static_cast<VARTYPE>(HiddenVartype(array));
  } else if (array->fFeatures & FADF_BSTR) {
    *type = VT_BSTR;
  } else if (array->fFeatures & FADF_UNKNOWN) {
    *type = VT_UNKNOWN;
  } else if (array->fFeatures & FADF_DISPATCH) {
    *type = VT_DISPATCH;
  } else if (array->fFeatures & FADF_VARIANT) {
    *type = VT_VARIANT;
  } else {
    return DISP_E_BADVARTYPE;
  }
  return S_OK;
}
