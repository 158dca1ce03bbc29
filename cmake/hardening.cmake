# SPDX-License-Identifier: Apache-2.0
# Hardening of every binary Kestrel builds: the protections Debian's
# dpkg-buildflags gives with every hardening feature on
# (DEB_BUILD_MAINT_OPTIONS=hardening=+all), which is also what device vendors
# expect of a library loaded into a compositor's process:
#
#   -fstack-protector-strong   a canary in every function with a local array or
#                              an address-taken local
#   -D_FORTIFY_SOURCE=2        libc's checked variants (__memcpy_chk, ...) where
#                              the size of the destination is known; only with
#                              optimisation, where glibc acts on it
#   -Wformat -Werror=format-security   no format string that is not a literal
#   -z relro -z now            relocations resolved at load, then the GOT made
#                              read-only (full RELRO with immediate binding)
#   PIE                        executables load at a random address
#
# None of these touches floating-point code generation: the canary and the
# checked copies add integer work at function entry and around libc calls.
# The goldens are the same bytes with and without them.
#
# KESTREL_HARDEN=OFF builds without them (e.g. to compare timings). With a
# sanitizer _FORTIFY_SOURCE is left out: glibc's checked functions bypass
# the sanitizers' interceptors, which then miss what they are there to find.
option(KESTREL_HARDEN "Build with the distribution's hardening flags" ON)

if(KESTREL_HARDEN)
  list(APPEND KESTREL_COMPILE_OPTIONS -fstack-protector-strong -Wformat -Werror=format-security)
  if(NOT KESTREL_SANITIZE)
    # -U first: some compilers predefine a level of their own.
    list(APPEND KESTREL_COMPILE_OPTIONS
         $<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE> $<$<NOT:$<CONFIG:Debug>>:-D_FORTIFY_SOURCE=2>)
  endif()
  list(APPEND KESTREL_LINK_OPTIONS -Wl,-z,relro -Wl,-z,now)
  # Position-independent code is on for every target (top CMakeLists); this
  # makes CMake also link executables with -pie where the toolchain can.
  include(CheckPIESupported)
  check_pie_supported(OUTPUT_VARIABLE kestrel_pie_output LANGUAGES CXX)
  if(NOT CMAKE_CXX_LINK_PIE_SUPPORTED)
    message(WARNING "KESTREL_HARDEN: the toolchain cannot link position-independent "
                    "executables: ${kestrel_pie_output}")
  endif()
endif()
