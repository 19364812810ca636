// Image output: the picture as a byte array or a file.
#include "component/cglimmark.h"

HRESULT CGlimmark::SaveToFile(BSTR) noexcept { return E_NOTIMPL; }

HRESULT CGlimmark::SaveToVar(VARIANT*) noexcept { return E_NOTIMPL; }
