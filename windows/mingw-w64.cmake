# Cross-compiling for 64-bit Windows with Debian's mingw-w64 tool chain
# (g++-mingw-w64-x86-64, binutils-mingw-w64-x86-64). Used by windows/CMakeLists.txt.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(mingw_prefix x86_64-w64-mingw32)
# The POSIX thread model: GCC 12's win32 model has no std::mutex, which
# GoogleTest needs. Its thread library is linked statically like the rest of
# the run time, so the DLL still imports only system DLLs.
set(CMAKE_C_COMPILER ${mingw_prefix}-gcc-posix)
set(CMAKE_CXX_COMPILER ${mingw_prefix}-g++-posix)
set(CMAKE_RC_COMPILER ${mingw_prefix}-windres)
set(CMAKE_OBJDUMP ${mingw_prefix}-objdump)

# Look for headers and libraries only in the cross environment; programs
# (the host's tools) on the host.
set(CMAKE_FIND_ROOT_PATH /usr/${mingw_prefix})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
