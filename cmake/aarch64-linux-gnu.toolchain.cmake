# SPDX-License-Identifier: Apache-2.0
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

# ctest runs every test executable through qemu-user. The programs run on
# Debian's own arm64 runtime, installed beside the build machine's by the
# multiarch packages (libc6:arm64, libstdc++6:arm64, libjsoncpp25:arm64, in
# /lib/aarch64-linux-gnu), as on an arm64 Debian system; "-L /" makes qemu
# load the arm64 dynamic loader of that runtime (/lib/ld-linux-aarch64.so.1).
# Not "-L /usr/aarch64-linux-gnu": that loader comes from the cross
# toolchain's own glibc build, while the libraries it then finds through the
# multiarch paths come from libc6:arm64; a loader and a libc of different
# builds do not work together (threads hang in pthread_create).
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L /)

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
