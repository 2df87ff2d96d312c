# Windows: the resource files, the PiPL and the terminology become one resource
# object (a .res file written by make_resource_file, compiled by windres) that
# goes into every library and program linking mirel_resources, where
# findResource reads it with the system's resource calls and hosts find the
# PiPL. make_resource_file runs on the build machine, so it is built with the
# build machine's compiler from the same sources that make the PiPL and the
# terminology for the target.
# Included from resources/CMakeLists.txt with resource_arguments (TYPE ID FILE
# triples) and resource_inputs set.

find_program(MIREL_BUILD_MACHINE_CXX NAMES c++ g++ NO_CMAKE_FIND_ROOT_PATH REQUIRED)
set(res_tool "${CMAKE_CURRENT_BINARY_DIR}/make_resource_file")
set(tool_sources "${CMAKE_CURRENT_SOURCE_DIR}/make_resource_file.cpp"
                 "${CMAKE_CURRENT_SOURCE_DIR}/pipl.cpp" "${CMAKE_CURRENT_SOURCE_DIR}/aete.cpp")
add_custom_command(
  OUTPUT "${res_tool}"
  COMMAND "${MIREL_BUILD_MACHINE_CXX}" -std=c++20 -O1 "-I${PROJECT_SOURCE_DIR}" ${tool_sources}
          -o "${res_tool}"
  DEPENDS ${tool_sources} "${CMAKE_CURRENT_SOURCE_DIR}/pipl.h" "${CMAKE_CURRENT_SOURCE_DIR}/aete.h"
          "${CMAKE_CURRENT_SOURCE_DIR}/resources.h" "${PROJECT_SOURCE_DIR}/platform/pi/pi_types.h"
  COMMENT "Building the resource file writer for the build machine"
  VERBATIM)

set(res_file "${CMAKE_CURRENT_BINARY_DIR}/mirel_resources.res")
set(res_object "${CMAKE_CURRENT_BINARY_DIR}/mirel_resources_res.obj")
add_custom_command(
  OUTPUT "${res_file}"
  COMMAND "${res_tool}" "${res_file}" ${resource_arguments}
  DEPENDS "${res_tool}" ${resource_inputs}
  COMMENT "Writing the Windows resources"
  VERBATIM)
add_custom_command(
  OUTPUT "${res_object}"
  COMMAND "${CMAKE_RC_COMPILER}" -J res -O coff -i "${res_file}" -o "${res_object}"
  DEPENDS "${res_file}"
  COMMENT "Compiling the Windows resources"
  VERBATIM)
add_custom_target(mirel_resource_section DEPENDS "${res_object}")

add_library(mirel_resources STATIC resources.cpp resource_section.cpp pipl.cpp aete.cpp)
add_dependencies(mirel_resources mirel_resource_section)
target_include_directories(mirel_resources PUBLIC "${PROJECT_SOURCE_DIR}")
# The object with the resource section goes to every binary that links the
# resources, as an object (an archive member would be left out: nothing refers to it).
target_link_libraries(mirel_resources PUBLIC mirel_pi mirel_os "${res_object}"
                      PRIVATE mirel_warnings)
