# SPDX-License-Identifier: Apache-2.0
# cmake -DMAP=<exports.map> -P exports_map_check.cmake
# The export map must hold with any C++ standard library: a pattern that
# spells a library's internal types (libstdc++'s __gnu_cxx and __cxx11,
# libc++'s std::__1 and Android's std::__ndk1) matches nothing under another
# library, and the export would silently go missing there.
file(STRINGS "${MAP}" lines)
set(bad "")
foreach(line IN LISTS lines)
  if(line MATCHES "__gnu_cxx|__cxx11|std::__1|std::__ndk1")
    string(STRIP "${line}" line)
    string(APPEND bad "\n  ${line}")
  endif()
endforeach()
if(bad)
  message(FATAL_ERROR "${MAP} names a standard library's internal types:${bad}")
endif()
list(LENGTH lines count)
if(count EQUAL 0)
  message(FATAL_ERROR "${MAP} is empty or missing")
endif()
