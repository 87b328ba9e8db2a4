# The engine's layers, and the folders each may include from. Included from the top
# CMakeLists.txt, this adds a build step that fails on an include against the direction; run
# with cmake -P, it is that step.
set(PELORIN_LAYERS base serial config session)
set(PELORIN_LAYER_USES_base base)
set(PELORIN_LAYER_USES_serial base serial)
set(PELORIN_LAYER_USES_config base config)
set(PELORIN_LAYER_USES_session base serial config session resources)

if(CMAKE_SCRIPT_MODE_FILE)
  cmake_minimum_required(VERSION 3.25)
  # Script mode: SOURCE_DIR is the tree to check, STAMP the file to touch when it holds.
  set(_wrong "")
  foreach(_layer IN LISTS PELORIN_LAYERS)
    file(GLOB _files ${SOURCE_DIR}/${_layer}/*.h ${SOURCE_DIR}/${_layer}/*.cpp)
    foreach(_file IN LISTS _files)
      file(STRINGS ${_file} _includes REGEX "^#include \"[a-z_]+/")
      foreach(_line IN LISTS _includes)
        string(REGEX REPLACE "^#include \"([a-z_]+)/.*" "\\1" _folder "${_line}")
        if(NOT _folder IN_LIST PELORIN_LAYER_USES_${_layer})
          file(RELATIVE_PATH _name ${SOURCE_DIR} ${_file})
          string(APPEND _wrong "\n  ${_name}: ${_line}")
        endif()
      endforeach()
    endforeach()
  endforeach()
  if(_wrong)
    message(FATAL_ERROR "An engine layer includes from a layer above it or from a front end:"
                        "${_wrong}")
  endif()
  file(TOUCH ${STAMP})
  return()
endif()

set(_layer_sources "")
foreach(_layer IN LISTS PELORIN_LAYERS)
  file(GLOB _files CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${_layer}/*.h
       ${PROJECT_SOURCE_DIR}/${_layer}/*.cpp)
  list(APPEND _layer_sources ${_files})
endforeach()
set(_stamp ${PROJECT_BINARY_DIR}/pelorin_layers.stamp)
add_custom_command(
  OUTPUT ${_stamp}
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR} -DSTAMP=${_stamp}
          -P ${CMAKE_CURRENT_LIST_FILE}
  DEPENDS ${_layer_sources} ${CMAKE_CURRENT_LIST_FILE}
  COMMENT "Checking the engine's include directions"
  VERBATIM)
add_custom_target(pelorin_layer_check DEPENDS ${_stamp})
# Every layer waits for the check, so a wrong include stops the build before it compiles.
add_dependencies(pelorin_base pelorin_layer_check)
