# 32-bit Windows with clang, on MinGW-w64's headers and GCC's libstdc++
# (the posix thread model), runtime linked statically by GNU ld.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(triple i686-w64-mingw32)
set(gcc_dir /usr/lib/gcc/${triple}/12-posix)
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${triple})
set(CMAKE_CXX_COMPILER_TARGET ${triple})
set(CMAKE_RC_COMPILER ${triple}-windres)

# clang does not find the posix-flavoured GCC on its own. And basic_string's
# members that GCC compiled into libstdc++ crash when clang's code calls them
# (substr, seen under Wine): with _GLIBCXX_ASSERTIONS, clang instantiates
# basic_string itself.
set(CMAKE_CXX_FLAGS_INIT "-isystem ${gcc_dir}/include/c++ -isystem ${gcc_dir}/include/c++/${triple} -D_GLIBCXX_ASSERTIONS")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -pthread -fuse-ld=bfd -L${gcc_dir}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -pthread -fuse-ld=bfd -L${gcc_dir}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -pthread -fuse-ld=bfd -L${gcc_dir}")

set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Tests run under Wine, through the build's own prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-exec")
