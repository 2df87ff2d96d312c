# Cross build for 64-bit Windows with mingw-w64 and POSIX threads (std::thread
# and the C++ runtime's locks work as on Linux). Used by the `windows` preset.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(mingw_prefix x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${mingw_prefix}-gcc-posix)
set(CMAKE_CXX_COMPILER ${mingw_prefix}-g++-posix)
set(CMAKE_RC_COMPILER ${mingw_prefix}-windres)
set(CMAKE_ASM_NASM_COMPILER nasm)

# The static libraries that scripts/setup builds for Windows (libjpeg-turbo,
# zlib, libpng, libtiff) and the compiler's own sysroot; nothing of the build
# machine's.
if(NOT DEFINED MIREL_WINDOWS_CODECS)
  set(MIREL_WINDOWS_CODECS "${CMAKE_CURRENT_LIST_DIR}/../build/windows-codecs/prefix")
endif()
get_filename_component(MIREL_WINDOWS_CODECS "${MIREL_WINDOWS_CODECS}" ABSOLUTE)
set(CMAKE_FIND_ROOT_PATH "${MIREL_WINDOWS_CODECS}" /usr/${mingw_prefix})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
