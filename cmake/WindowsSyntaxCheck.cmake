# Compiles every component source file against mingw-w64's real Windows
# headers (not the platform layer's), one ctest test per file, so that the
# component stays portable to Windows.
# MINGW_CXX comes from the top-level CMakeLists, which turns the check off by
# default when it is missing; asking for the check without it is an error.
if(NOT MINGW_CXX)
  message(FATAL_ERROR "GLIMMARK_WINDOWS_CHECK=ON but x86_64-w64-mingw32-g++ is not found: "
                      "run scripts/install-deps")
endif()

# Files whose Windows counterpart the platform layer does not offer yet.
# Each entry must go when the platform piece it waits for lands.
set(GLIMMARK_WINDOWS_CHECK_EXCLUDE)

foreach(source IN LISTS GLIMMARK_COMPONENT_SOURCES)
  file(RELATIVE_PATH rel "${CMAKE_SOURCE_DIR}" "${source}")
  if(rel IN_LIST GLIMMARK_WINDOWS_CHECK_EXCLUDE)
    continue()
  endif()
  add_test(NAME "windows_syntax/${rel}"
           COMMAND "${MINGW_CXX}" -std=c++20 -fsyntax-only -Wall -Wextra -Werror
                   -DUNICODE -D_UNICODE -DNOMINMAX -DWIN32_LEAN_AND_MEAN
                   -I "${CMAKE_SOURCE_DIR}" "${source}"
           WORKING_DIRECTORY "${CMAKE_SOURCE_DIR}")
endforeach()
