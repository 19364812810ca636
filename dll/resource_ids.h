// Resources this library carries (packed into the file at build time; see
// component/CMakeLists.txt): registry scripts of type "REGISTRY" and the
// type library of type "TYPELIB".
#pragma once

constexpr unsigned kModuleRegistryScript = 101;  // server/scripts/module.rgs
constexpr unsigned kClassRegistryScript = 106;   // server/scripts/glimmark.rgs
constexpr unsigned kTypeLibraryResource = 1;
