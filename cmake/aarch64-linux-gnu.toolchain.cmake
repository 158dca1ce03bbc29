# Cross build for the target architecture (arm64) with Debian's cross
# toolchain, tests run under qemu-user:
#
#   cmake -S . -B build-arm64 \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.toolchain.cmake \
#     -DCMAKE_PREFIX_PATH=<GoogleTest cross-built from /usr/src/googletest>
#
# scripts/test.sh does all of this (stage "arm64").
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(KESTREL_CROSS_TRIPLE aarch64-linux-gnu)
set(CMAKE_C_COMPILER ${KESTREL_CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${KESTREL_CROSS_TRIPLE}-g++)

# ctest runs every test executable through qemu; -L points the emulator's
# dynamic loader at the cross toolchain's sysroot (libc, libstdc++). Libraries
# from Debian's multiarch packages (libjsoncpp.so.25 under
# /usr/lib/aarch64-linux-gnu) are found through QEMU_LD_PREFIX-independent
# RPATHs that CMake writes into the build tree.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L /usr/${KESTREL_CROSS_TRIPLE})

# Look for target libraries and packages only in the target's places: the
# sysroot of the cross toolchain, and Debian's multiarch directory of the
# target (reached from "/" through CMAKE_LIBRARY_ARCHITECTURE). Programs are
# the build machine's.
set(CMAKE_FIND_ROOT_PATH /usr/${KESTREL_CROSS_TRIPLE} /)
set(CMAKE_LIBRARY_ARCHITECTURE ${KESTREL_CROSS_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# jsoncpp comes from libjsoncpp-dev:arm64. Its package config sits beside the
# build machine's own (/usr/lib/x86_64-linux-gnu/cmake/jsoncpp), which
# describes the x86-64 library; name the arm64 one so that the search can
# never settle on the wrong architecture.
set(jsoncpp_DIR /usr/lib/${KESTREL_CROSS_TRIPLE}/cmake/jsoncpp CACHE PATH
    "jsoncpp package config of the target architecture")
