# The fuzz build's picture codecs: when fuzz/build_codecs.sh has built zlib, libpng,
# libjpeg-turbo and libtiff with coverage instrumentation, every target that links
# PNG::PNG, JPEG::JPEG, TIFF::TIFF or ZLIB::ZLIB gets those static libraries instead of
# the system's, so that the fuzzer sees its way through the decoders. Included before
# the subdirectories: the find modules keep imported targets that already exist.
set(MIREL_FUZZ_CODECS "${PROJECT_SOURCE_DIR}/build/fuzz-codecs/prefix"
    CACHE PATH "Instrumented codec libraries for the fuzz targets (fuzz/build_codecs.sh)")
set(codec_lib "${MIREL_FUZZ_CODECS}/lib")
if(NOT EXISTS "${MIREL_FUZZ_CODECS}/.built")
  message(WARNING "No instrumented codecs in ${MIREL_FUZZ_CODECS} (run fuzz/build_codecs.sh); "
                  "the picture targets use the system's libraries and see nothing inside them.")
  return()
endif()

function(mirel_codec target library variable)
  add_library(${target} STATIC IMPORTED GLOBAL)
  set_target_properties(${target} PROPERTIES
    IMPORTED_LOCATION "${codec_lib}/${library}"
    INTERFACE_INCLUDE_DIRECTORIES "${MIREL_FUZZ_CODECS}/include"
    INTERFACE_LINK_LIBRARIES "${ARGN}")
  # What the find modules would otherwise look up on the system.
  set(${variable}_LIBRARY_RELEASE "${codec_lib}/${library}" CACHE FILEPATH "" FORCE)
endfunction()

mirel_codec(ZLIB::ZLIB libz.a ZLIB)
mirel_codec(JPEG::JPEG libjpeg.a JPEG)
mirel_codec(PNG::PNG libpng16.a PNG ZLIB::ZLIB m)
mirel_codec(TIFF::TIFF libtiff.a TIFF JPEG::JPEG ZLIB::ZLIB m)
set(ZLIB_INCLUDE_DIR "${MIREL_FUZZ_CODECS}/include" CACHE PATH "" FORCE)
set(JPEG_INCLUDE_DIR "${MIREL_FUZZ_CODECS}/include" CACHE PATH "" FORCE)
set(PNG_PNG_INCLUDE_DIR "${MIREL_FUZZ_CODECS}/include" CACHE PATH "" FORCE)
set(TIFF_INCLUDE_DIR "${MIREL_FUZZ_CODECS}/include" CACHE PATH "" FORCE)
