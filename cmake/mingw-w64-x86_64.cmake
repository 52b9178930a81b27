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
  # clang 14 does not recognise Debian's "12-posix" gcc directory as a gcc
  # version, so it finds neither libstdc++ nor libgcc by itself: the posix g++
  # tells where they are. Its runtime is the one gcc builds link against, and
  # it is SEH-based like clang's own code for this target.
  execute_process(COMMAND ${TRELMO_TRIPLE}-g++-posix -print-libgcc-file-name
                  OUTPUT_VARIABLE trelmo_libgcc OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE trelmo_libgcc_result)
  if(NOT trelmo_libgcc_result EQUAL 0 OR NOT EXISTS "${trelmo_libgcc}")
    message(FATAL_ERROR "clang builds need ${TRELMO_TRIPLE}-g++-posix (g++-mingw-w64-x86-64-posix) for libstdc++")
  endif()
  get_filename_component(trelmo_gcc_dir "${trelmo_libgcc}" DIRECTORY)
  set(trelmo_cxx_include "${trelmo_gcc_dir}/include/c++")
  set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES
      ${trelmo_cxx_include} ${trelmo_cxx_include}/${TRELMO_TRIPLE} ${trelmo_cxx_include}/backward)
  # Without the sysroot clang also searches the host's /usr/include.
  set(CMAKE_C_FLAGS_INIT "--sysroot=/usr/${TRELMO_TRIPLE}")
  set(CMAKE_CXX_FLAGS_INIT "--sysroot=/usr/${TRELMO_TRIPLE}")
  # The posix libstdc++ and libgcc_eh need winpthreads, which only -pthread
  # puts inside clang's static link group. mingw's GNU ld would link too, but
  # warns about every libstdc++ type_info that clang also emits, since gcc
  # pads those COMDATs and clang does not; lld takes them silently.
  foreach(kind EXE SHARED MODULE)
    set(CMAKE_${kind}_LINKER_FLAGS_INIT "-fuse-ld=lld -L${trelmo_gcc_dir} -pthread")
  endforeach()
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
