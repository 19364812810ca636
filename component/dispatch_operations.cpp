// Late-bound calls through IDispatch: every entry goes to the process-wide
// type information of IGlimmark, which decodes the arguments and calls the
// vtable entry by its DISPID.
#include "component/cglimmark.h"
#include "server/type_info_holder.h"

namespace {

// Shared by every object, stand-alone or aggregated; loaded on first need
// from the registered type library and kept until the module ends.
constinit CComTypeInfoHolder glimmarkTypeInfo = {&IID_IGlimmark,
                                                 &LIBID_GlimmarkPrjLib,
                                                 kGlimmarkLibraryMajorVersion,
                                                 kGlimmarkLibraryMinorVersion,
                                                 kGlimmarkLibraryLocale,
                                                 nullptr,
                                                 nullptr,
                                                 0};

}  // namespace

HRESULT CGlimmark::GetTypeInfoCount(UINT* pctinfo) noexcept {
  if (pctinfo == nullptr) return E_POINTER;
  *pctinfo = 1;
  return S_OK;
}

HRESULT CGlimmark::GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) noexcept {
  return glimmarkTypeInfo.GetTypeInfo(iTInfo, lcid, ppTInfo);
}

HRESULT CGlimmark::GetIDsOfNames(REFIID, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                                 DISPID* rgDispId) noexcept {
  return glimmarkTypeInfo.GetIDsOfNames(rgszNames, cNames, lcid, rgDispId);
}

HRESULT CGlimmark::Invoke(DISPID dispIdMember, REFIID, LCID lcid, WORD wFlags,
                          DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                          UINT* puArgErr) noexcept {
  // The instance is this object's own IGlimmark; for an aggregated object
  // that is the contained object's, whose references go to the outer one.
  IGlimmark* self = this;
  return glimmarkTypeInfo.Invoke(self, dispIdMember, lcid, wFlags, pDispParams, pVarResult,
                                 pExcepInfo, puArgErr);
}
