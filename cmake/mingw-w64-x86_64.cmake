# Cross toolchain for 64-bit Windows from Debian's mingw-w64 packages.
# TRELMO_COMPILER=clang builds the same tree with clang against the mingw sysroot.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TRELMO_TRIPLE x86_64-w64-mingw32)
if(NOT DEFINED TRELMO_COMPILER)
  set(TRELMO_COMPILER "$ENV{TRELMO_COMPILER}")
endif()

if(TRELMO_COMPILER STREQUAL "clang")
  set(CMAKE_C_COMPILER clang)
  set(CMAKE_CXX_COMPILER clang++)
  set(CMAKE_C_COMPILER_TARGET ${TRELMO_TRIPLE})
  set(CMAKE_CXX_COMPILER_TARGET ${TRELMO_TRIPLE})
  # clang finds the mingw headers and libraries through the sysroot, but not
  # the posix-threads flavour of libstdc++ unless the gcc installation is named.
  set(CMAKE_CXX_FLAGS_INIT "--gcc-toolchain=/usr -fuse-ld=lld")
  set(CMAKE_C_FLAGS_INIT "--gcc-toolchain=/usr -fuse-ld=lld")
else()
  set(CMAKE_C_COMPILER ${TRELMO_TRIPLE}-gcc-posix)
  set(CMAKE_CXX_COMPILER ${TRELMO_TRIPLE}-g++-posix)
endif()
set(CMAKE_RC_COMPILER ${TRELMO_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TRELMO_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Windows programs run here under Wine; ctest starts them through this.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
