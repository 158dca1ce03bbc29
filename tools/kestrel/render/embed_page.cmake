# SPDX-License-Identifier: Apache-2.0
# Builds the report page's text as C++: the page (report_page.html) with its
# script (report_page.mjs) put in place of the script marker, as one raw
# string. Run at build time with `cmake -P`:
#
#   cmake -DPAGE=report_page.html -DSCRIPT=report_page.mjs -DOUT=report_page_text.cpp
#         -P embed_page.cmake
#
# Unlike configure_file, which would replace any @NAME@ in the script
# silently, it replaces exactly one marker and fails the build when a
# marker is missing or doubled, or when the text would end the string or
# the <script> element early.
foreach(input PAGE SCRIPT OUT)
  if(NOT DEFINED ${input})
    message(FATAL_ERROR "embed_page.cmake: ${input} is not set")
  endif()
endforeach()

file(READ "${PAGE}" page)
file(READ "${SCRIPT}" script)
# The licence lines at the top of the two files belong to the source tree;
# the page the tool writes is the same bytes with or without them.
string(REGEX REPLACE "^(<!DOCTYPE html>\n)<!-- SPDX-License-Identifier: [^\n]*-->\n" "\\1"
       page "${page}")
string(REGEX REPLACE "^// SPDX-License-Identifier: [^\n]*\n" "" script "${script}")

set(script_marker "/*KESTREL_REPORT_SCRIPT*/")
# The tool puts the data in place of this one when it writes a page.
set(data_marker "/*KESTREL_REPORT_DATA*/")
set(delimiter ")KESTREL_PAGE\"")

function(count_of text needle result)
  set(count 0)
  string(FIND "${text}" "${needle}" at)
  while(NOT at EQUAL -1)
    math(EXPR count "${count} + 1")
    string(LENGTH "${needle}" length)
    math(EXPR at "${at} + ${length}")
    string(SUBSTRING "${text}" ${at} -1 text)
    string(FIND "${text}" "${needle}" at)
  endwhile()
  set(${result} ${count} PARENT_SCOPE)
endfunction()

foreach(marker "${script_marker}" "${data_marker}")
  count_of("${page}" "${marker}" count)
  if(NOT count EQUAL 1)
    message(FATAL_ERROR "${PAGE}: the marker ${marker} appears ${count} times; it must appear once")
  endif()
  count_of("${script}" "${marker}" count)
  if(NOT count EQUAL 0)
    message(FATAL_ERROR "${SCRIPT}: contains the marker ${marker}")
  endif()
endforeach()
count_of("${script}" "</script" count)
if(NOT count EQUAL 0)
  message(FATAL_ERROR "${SCRIPT}: contains \"</script\", which would end the page's <script> element")
endif()
foreach(input page script)
  count_of("${${input}}" "${delimiter}" count)
  if(NOT count EQUAL 0)
    message(FATAL_ERROR "embed_page.cmake: the ${input} contains ${delimiter}, which ends the C++ string")
  endif()
endforeach()

string(REPLACE "${script_marker}" "${script}" page "${page}")
set(text "// Generated at build time from tools/kestrel/render/report_page.html and
// report_page.mjs by embed_page.cmake; edit those files.
#include \"tools/kestrel/render/report_page.h\"

namespace kestrel::tool {

const char* const kReportPageTemplate = R\"KESTREL_PAGE(${page}${delimiter};

}  // namespace kestrel::tool
")
file(WRITE "${OUT}.tmp" "${text}")
# Copied as it is (no substitution), and only when it changed.
configure_file("${OUT}.tmp" "${OUT}" COPYONLY)
file(REMOVE "${OUT}.tmp")
