// Page events and delivery through the page's response object.
#include "component/cglimmark.h"

HRESULT CGlimmark::OnStartPage(IUnknown*) noexcept { return E_NOTIMPL; }

HRESULT CGlimmark::OnEndPage() noexcept { return E_NOTIMPL; }

HRESULT CGlimmark::Send() noexcept { return E_NOTIMPL; }
