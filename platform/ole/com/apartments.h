// The calling thread's apartment, as CoInitializeEx entered it. Read by the
// object-making functions (inproc_servers.cpp), which refuse threads outside
// any apartment.
#pragma once

namespace glimmark::ole {

bool ThreadHasApartment();

}  // namespace glimmark::ole
