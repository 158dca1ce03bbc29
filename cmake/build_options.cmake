# SPDX-License-Identifier: Apache-2.0
# Compile and link options of Kestrel's own targets.
#
# They are set on each target that Kestrel's CMakeLists files create, never
# with add_compile_options() on the directory: a parent project that pulls
# Kestrel in keeps its own flags, and Kestrel's exactness does not depend on
# what a parent happens to set.
#
# kestrel_apply_build_options() runs once at the end of the top CMakeLists
# and walks every directory below it, so a new library, test or tool gets the
# options without doing anything.

# Exactness: no contraction of a*b+c into fma, no fast-math, same on every target.
set(KESTREL_COMPILE_OPTIONS -ffp-contract=off -fno-fast-math -Wall -Wextra)
# Debug information and __FILE__ name paths relative to the source and build
# folders, so that nothing installed names either folder. The build folder
# may lie inside the source folder; the compilers use the last matching map,
# so it comes second.
list(APPEND KESTREL_COMPILE_OPTIONS
     -ffile-prefix-map=${PROJECT_SOURCE_DIR}=.
     -ffile-prefix-map=${PROJECT_BINARY_DIR}=.)
set(KESTREL_LINK_OPTIONS "")
if(KESTREL_SANITIZE)
  list(APPEND KESTREL_COMPILE_OPTIONS -fsanitize=${KESTREL_SANITIZE} -fno-omit-frame-pointer
       -fno-sanitize-recover=all)
  list(APPEND KESTREL_LINK_OPTIONS -fsanitize=${KESTREL_SANITIZE})
endif()
# Stack protector, checked libc calls, full RELRO, PIE (KESTREL_HARDEN).
include(${CMAKE_CURRENT_LIST_DIR}/hardening.cmake)

# Shared libraries are linked with every symbol resolved, so that a missing
# definition fails the build rather than the host's dlopen. Not with clang's
# sanitizers: clang links its sanitizer runtime into executables only, and a
# shared library resolves the runtime's symbols from the executable that
# loads it.
if(KESTREL_SANITIZE AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  set(KESTREL_SHARED_LINK_CHECK "")
else()
  set(KESTREL_SHARED_LINK_CHECK -Wl,--no-undefined)
endif()

# The targets created in <dir> and the folders below it.
function(kestrel_collect_targets dir out)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub IN LISTS subdirs)
    kestrel_collect_targets(${sub} below)
    list(APPEND targets ${below})
  endforeach()
  set(${out} ${targets} PARENT_SCOPE)
endfunction()

function(kestrel_apply_build_options)
  kestrel_collect_targets(${PROJECT_SOURCE_DIR} targets)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(type MATCHES "^(EXECUTABLE|SHARED_LIBRARY|MODULE_LIBRARY|STATIC_LIBRARY|OBJECT_LIBRARY)$")
      set_property(TARGET ${target} APPEND PROPERTY COMPILE_OPTIONS ${KESTREL_COMPILE_OPTIONS})
    endif()
    if(type MATCHES "^(EXECUTABLE|SHARED_LIBRARY|MODULE_LIBRARY)$" AND KESTREL_LINK_OPTIONS)
      set_property(TARGET ${target} APPEND PROPERTY LINK_OPTIONS ${KESTREL_LINK_OPTIONS})
    endif()
  endforeach()
endfunction()
