# SPDX-License-Identifier: Apache-2.0
# What the kestrel tool needs besides the library: CLI11 for the command line
# and cairo for the plots (Debian: libcli11-dev, libcairo2-dev, which brings
# fontconfig's). Included by
# the tool and by its tests; sets KESTREL_TOOL_DEPENDENCIES_FOUND, and
# KESTREL_CAIRO_INCLUDE_DIRS and KESTREL_CAIRO_LINK_LIBRARIES (full paths).

# A cross build must find the target's cairo, not the build machine's: point
# pkg-config at the target's multiarch directory, as Debian's cross
# pkg-config wrappers do.
if(CMAKE_CROSSCOMPILING AND CMAKE_LIBRARY_ARCHITECTURE AND NOT DEFINED ENV{PKG_CONFIG_LIBDIR})
  set(ENV{PKG_CONFIG_LIBDIR}
      "/usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}/pkgconfig:/usr/share/pkgconfig")
endif()

find_package(CLI11 CONFIG QUIET)
find_package(PkgConfig QUIET)
if(PKG_CONFIG_FOUND)
  # fontconfig for its FcFini: cairo's text goes through it.
  pkg_check_modules(KESTREL_CAIRO QUIET cairo fontconfig)
endif()

if(CLI11_FOUND AND KESTREL_CAIRO_FOUND)
  set(KESTREL_TOOL_DEPENDENCIES_FOUND TRUE)
else()
  set(KESTREL_TOOL_DEPENDENCIES_FOUND FALSE)
endif()
