// Late-bound calls through IDispatch.
#include "component/cglimmark.h"

HRESULT CGlimmark::GetTypeInfoCount(UINT* pctinfo) noexcept {
  if (pctinfo == nullptr) return E_POINTER;
  *pctinfo = 0;
  return E_NOTIMPL;
}

HRESULT CGlimmark::GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) noexcept {
  if (ppTInfo != nullptr) *ppTInfo = nullptr;
  return E_NOTIMPL;
}

HRESULT CGlimmark::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) noexcept {
  return E_NOTIMPL;
}

HRESULT CGlimmark::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                          UINT*) noexcept {
  return E_NOTIMPL;
}
