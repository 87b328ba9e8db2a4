# libdeflate, the compressor behind "--compression best": pkg-config when it is there, else
# the library and header found directly. Gives the target Libdeflate::Libdeflate.
find_package(PkgConfig QUIET)
if(PkgConfig_FOUND)
  pkg_check_modules(LIBDEFLATE QUIET IMPORTED_TARGET libdeflate)
endif()
if(TARGET PkgConfig::LIBDEFLATE)
  add_library(Libdeflate::Libdeflate ALIAS PkgConfig::LIBDEFLATE)
else()
  find_path(LIBDEFLATE_INCLUDE_DIR libdeflate.h REQUIRED)
  find_library(LIBDEFLATE_LIBRARY NAMES deflate libdeflate REQUIRED)
  add_library(Libdeflate::Libdeflate UNKNOWN IMPORTED)
  set_target_properties(Libdeflate::Libdeflate PROPERTIES
    IMPORTED_LOCATION "${LIBDEFLATE_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${LIBDEFLATE_INCLUDE_DIR}")
endif()
