# What the Windows build adds to the common one: one file to install. The plug-in
# and the host program link the C++ runtime, libgcc and the POSIX threads
# library statically, so that they need no DLL but Windows' own.
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX UNICODE _UNICODE _WIN32_WINNT=0x0601)
add_link_options(-static -static-libgcc -static-libstdc++ $<$<CONFIG:Release>:-s>)
# The stack of a Windows thread is aligned to 16 bytes and GCC does not align
# it further for the 32-byte AVX2 values it spills there; unaligned moves
# cost nothing on processors with AVX2 and never fault.
add_compile_options(-Wa,-muse-unaligned-vector-move)

# The picture codecs are static libraries (scripts/build-windows-codecs), so
# each brings the libraries it needs itself.
find_package(ZLIB REQUIRED)
find_package(JPEG REQUIRED)
find_package(PNG REQUIRED)
find_package(TIFF REQUIRED)
set_property(TARGET TIFF::TIFF APPEND PROPERTY INTERFACE_LINK_LIBRARIES JPEG::JPEG ZLIB::ZLIB)

# Header-only libraries of the build machine (CLI11, nlohmann-json), seen
# through a folder of their own: the build machine's include folder as a
# whole holds its C library's headers, which must never reach this compiler.
set(MIREL_HEADER_ONLY_DIR "${CMAKE_BINARY_DIR}/header-only")
file(MAKE_DIRECTORY "${MIREL_HEADER_ONLY_DIR}")
foreach(folder CLI nlohmann)
  if(NOT EXISTS "/usr/include/${folder}")
    message(FATAL_ERROR "/usr/include/${folder} is missing: run scripts/setup")
  endif()
  file(CREATE_LINK "/usr/include/${folder}" "${MIREL_HEADER_ONLY_DIR}/${folder}" SYMBOLIC)
endforeach()
include_directories(SYSTEM "${MIREL_HEADER_ONLY_DIR}")
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED GLOBAL)
