# pelorin_version_resource(TARGET DESCRIPTION): gives a Windows program the version record
# that Explorer, the installer and Apps and Features read, from the project version. Does
# nothing elsewhere, nor for a program that brings a resource script of its own.
function(pelorin_version_resource target description)
  if(NOT WIN32)
    return()
  endif()
  get_target_property(_sources ${target} SOURCES)
  list(FILTER _sources INCLUDE REGEX "\\.rc$")
  if(_sources)
    return()
  endif()
  set(PELORIN_RC_NAME ${target})
  set(PELORIN_RC_DESCRIPTION "${description}")
  set(_rc ${PROJECT_BINARY_DIR}/resources/${target}_version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/resources/version.rc.in ${_rc} @ONLY)
  target_sources(${target} PRIVATE ${_rc})
endfunction()
