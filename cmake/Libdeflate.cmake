# libdeflate, the compressor behind "--compression best": pkg-config when it is there, else
# the library and header found directly. Gives the target Libdeflate::Libdeflate. Without it
# (no Windows build of it in Debian for the cross build), "best" falls back to zlib level 9.
find_package(PkgConfig QUIET)
if(PkgConfig_FOUND AND NOT CMAKE_CROSSCOMPILING)
  pkg_check_modules(LIBDEFLATE QUIET IMPORTED_TARGET libdeflate)
endif()
if(TARGET PkgConfig::LIBDEFLATE)
  add_library(Libdeflate::Libdeflate ALIAS PkgConfig::LIBDEFLATE)
else()
  find_path(LIBDEFLATE_INCLUDE_DIR libdeflate.h)
  find_library(LIBDEFLATE_LIBRARY NAMES deflate libdeflate)
  add_library(Libdeflate::Libdeflate INTERFACE IMPORTED)
  if(LIBDEFLATE_INCLUDE_DIR AND LIBDEFLATE_LIBRARY)
    set_target_properties(Libdeflate::Libdeflate PROPERTIES
      INTERFACE_LINK_LIBRARIES "${LIBDEFLATE_LIBRARY}"
      INTERFACE_INCLUDE_DIRECTORIES "${LIBDEFLATE_INCLUDE_DIR}")
  elseif(NOT CMAKE_CROSSCOMPILING)
    message(FATAL_ERROR "libdeflate not found: install libdeflate-dev (scripts/install-deps.sh)")
  else()
    message(STATUS "libdeflate not found: --compression best uses zlib level 9")
    set_target_properties(Libdeflate::Libdeflate PROPERTIES
      INTERFACE_COMPILE_DEFINITIONS PELORIN_NO_LIBDEFLATE)
  endif()
endif()
