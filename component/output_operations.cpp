// Image output: the picture as a byte array or a file. Each call renders anew.
#include "component/cglimmark.h"
#include "component/error_report.h"
#include "output/image_encoding.h"

HRESULT CGlimmark::SaveToFile(BSTR FileName) noexcept {
  if (EncodeToFile(settings, FileName) != 0) return ReportFailure(settings);
  return S_OK;
}

HRESULT CGlimmark::SaveToVar(VARIANT* Dest) noexcept {
  if (Dest == nullptr) return E_POINTER;  // nowhere to put the bytes
  if (EncodeToBytes(settings, Dest) != 0) return ReportFailure(settings);
  return S_OK;
}
