// Apartments: a per-thread count of CoInitializeEx calls and the model the
// first one chose. There is no marshalling here; the model is kept so that a
// thread cannot silently switch it.
#include "ole/com/apartments.h"

#include "objbase.h"

namespace {

struct ThreadApartment {
  unsigned entries = 0;  // CoInitializeEx calls not yet undone
  DWORD model = 0;       // COINIT_APARTMENTTHREADED or COINIT_MULTITHREADED
};

thread_local ThreadApartment apartment;

}  // namespace

namespace glimmark::ole {

bool ThreadHasApartment() { return apartment.entries > 0; }

}  // namespace glimmark::ole

EXTERN_C HRESULT WINAPI CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit) {
  if (pvReserved != nullptr) return E_INVALIDARG;
  const DWORD model = dwCoInit & COINIT_APARTMENTTHREADED;
  if (apartment.entries > 0 && apartment.model != model) return RPC_E_CHANGED_MODE;
  apartment.model = model;
  return apartment.entries++ == 0 ? S_OK : S_FALSE;
}

EXTERN_C void WINAPI CoUninitialize(void) {
  if (apartment.entries > 0) --apartment.entries;
}
