# Makes registry_scripts.h: the server's registry scripts (server/scripts/*.rgs)
# as UTF-16 string constants, for the tests, benchmarks and fuzz targets that
# apply the real scripts without loading the library's resources. The .rgs
# files stay the one source of the scripts.
# Usage: cmake -DSCRIPT_DIR=... -DOUTPUT=... -P EmbedRegistryScripts.cmake
file(GLOB scripts "${SCRIPT_DIR}/*.rgs")
list(SORT scripts)
set(content "// Generated from server/scripts/*.rgs by cmake/EmbedRegistryScripts.cmake.\n#pragma once\n\n")
foreach(script IN LISTS scripts)
  get_filename_component(name "${script}" NAME_WE)
  string(MAKE_C_IDENTIFIER "${name}" identifier)
  file(READ "${script}" text)
  string(APPEND content "inline constexpr const char16_t* kRegistryScript_${identifier} = uR\"rgs(${text})rgs\";\n")
endforeach()
file(WRITE "${OUTPUT}.tmp" "${content}")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
