// Safe arrays: locking, element access and shape queries. The lock count is
// changed atomically; an array cannot be destroyed while it is nonzero.
// Dimensions are numbered from 1 (the leftmost); bounds are stored last
// dimension first, so dimension d is rgsabound[cDims - d].
#include "oleauto.h"

namespace {

// Windows refuses more nested locks than a 16-bit count holds.
constexpr ULONG kMaxLocks = 0xFFFF;

const SAFEARRAYBOUND& BoundOf(const SAFEARRAY* array, UINT dim) {
  return array->rgsabound[array->cDims - dim];
}

HRESULT CheckDimension(const SAFEARRAY* array, UINT dim, const LONG* bound) {
  if (array == nullptr || bound == nullptr) return E_INVALIDARG;
  if (dim == 0 || dim > array->cDims) return DISP_E_BADINDEX;
  return S_OK;
}

}  // namespace

EXTERN_C HRESULT WINAPI SafeArrayLock(SAFEARRAY* array) {
  if (array == nullptr) return E_INVALIDARG;
  if (__atomic_add_fetch(&array->cLocks, 1, __ATOMIC_SEQ_CST) > kMaxLocks) {
    __atomic_sub_fetch(&array->cLocks, 1, __ATOMIC_SEQ_CST);
    return E_UNEXPECTED;
  }
  return S_OK;
}

EXTERN_C HRESULT WINAPI SafeArrayUnlock(SAFEARRAY* array) {
  if (array == nullptr) return E_INVALIDARG;
  ULONG locks = __atomic_load_n(&array->cLocks, __ATOMIC_SEQ_CST);
  do {
    if (locks == 0) return E_UNEXPECTED;
  } while (!__atomic_compare_exchange_n(&array->cLocks, &locks, locks - 1, false, __ATOMIC_SEQ_CST,
                                        __ATOMIC_SEQ_CST));
  return S_OK;
}

EXTERN_C HRESULT WINAPI SafeArrayAccessData(SAFEARRAY* array, void** data) {
  if (array == nullptr || data == nullptr) return E_INVALIDARG;
  const HRESULT hr = SafeArrayLock(array);
  *data = SUCCEEDED(hr) ? array->pvData : nullptr;
  return hr;
}

EXTERN_C HRESULT WINAPI SafeArrayUnaccessData(SAFEARRAY* array) { return SafeArrayUnlock(array); }

EXTERN_C HRESULT WINAPI SafeArrayGetLBound(SAFEARRAY* array, UINT dim, LONG* bound) {
  const HRESULT hr = CheckDimension(array, dim, bound);
  if (SUCCEEDED(hr)) *bound = BoundOf(array, dim).lLbound;
  return hr;
}

// The upper bound wraps as on Windows when lower bound + count passes LONG.
EXTERN_C HRESULT WINAPI SafeArrayGetUBound(SAFEARRAY* array, UINT dim, LONG* bound) {
  const HRESULT hr = CheckDimension(array, dim, bound);
  if (FAILED(hr)) return hr;
  const SAFEARRAYBOUND& b = BoundOf(array, dim);
  const int64_t upper = int64_t{b.lLbound} + int64_t{b.cElements} - 1;
  *bound = static_cast<LONG>(static_cast<uint32_t>(upper));
  return S_OK;
}

EXTERN_C UINT WINAPI SafeArrayGetDim(SAFEARRAY* array) {
  return array == nullptr ? 0 : array->cDims;
}

EXTERN_C UINT WINAPI SafeArrayGetElemsize(SAFEARRAY* array) {
  return array == nullptr ? 0 : array->cbElements;
}

// `indices` holds one index per dimension, dimension 1 first; dimension 1
// varies fastest in memory. Any index outside its bounds is DISP_E_BADINDEX.
EXTERN_C HRESULT WINAPI SafeArrayPtrOfIndex(SAFEARRAY* array, LONG* indices, void** element) {
  if (array == nullptr || indices == nullptr || element == nullptr) return E_INVALIDARG;
  if (array->pvData == nullptr || array->cDims == 0) return E_INVALIDARG;
  uint64_t cell = 0;
  uint64_t stride = 1;
  for (UINT dim = 1; dim <= array->cDims; ++dim) {
    const SAFEARRAYBOUND& b = BoundOf(array, dim);
    const int64_t offset = int64_t{indices[dim - 1]} - b.lLbound;
    if (offset < 0 || offset >= int64_t{b.cElements}) return DISP_E_BADINDEX;
    cell += static_cast<uint64_t>(offset) * stride;
    stride *= b.cElements;
  }
  *element = static_cast<char*>(array->pvData) + cell * array->cbElements;
  return S_OK;
}
