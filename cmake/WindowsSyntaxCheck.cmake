# Compiles every component source file against mingw-w64's real Windows
# headers (not the platform layer's), one ctest test per file, so that the
# component stays portable to Windows.
find_program(MINGW_CXX x86_64-w64-mingw32-g++)
if(NOT MINGW_CXX)
  message(FATAL_ERROR "x86_64-w64-mingw32-g++ not found: run scripts/install-deps")
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
