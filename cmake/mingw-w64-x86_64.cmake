# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (the -posix compilers, whose
# runtime has std::thread). Programs are linked statically so they run without any DLL beside
# them, and run through Wine when CTest starts them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${_triple}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The static zlib, never the import library of zlib1.dll.
set(ZLIB_USE_STATIC_LIBS ON)
set(ZLIB_LIBRARY /usr/${_triple}/lib/libz.a CACHE FILEPATH "static zlib for Windows")
set(ZLIB_INCLUDE_DIR /usr/${_triple}/include CACHE PATH "zlib headers for Windows")

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# One Wine prefix per build tree, shared by the tests, their discovery and the benchmarks. The
# emulator has to be a single program for GoogleTest's discovery: a small script in the tree.
get_filename_component(_pelorin_source ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
set(_pelorin_wine ${CMAKE_BINARY_DIR}/wine-run)
if(NOT EXISTS ${_pelorin_wine})
  file(WRITE ${_pelorin_wine}
       "#!/bin/sh\nexec '${_pelorin_source}/scripts/wine-run.sh' --prefix '${CMAKE_BINARY_DIR}/wine-prefix' \"$@\"\n")
  file(CHMOD ${_pelorin_wine} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
       GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${_pelorin_wine})
