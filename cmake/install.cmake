# SPDX-License-Identifier: Apache-2.0
# Install rules, the CMake package (kestrel::plugin, kestrel::headers), the
# pkg-config file and the Debian package.
#
# Everything installed is relocatable: programs and libraries find each other
# through RUNPATHs relative to $ORIGIN, the CMake package and kestrel.pc
# compute the prefix from where they lie, and no file names the source or
# build folder. Move the prefix and it still works.
#
# A new library joins the package with one call in its CMakeLists:
#
#   kestrel_install_library(kestrel_hdr10plus EXPORT_NAME hdr10plus
#                           HEADERS hdr10plus/payload.h hdr10plus/record.h)
#
# which installs it into lib/ (kestrel::hdr10plus for find_package users,
# RUNPATH to Kestrel's private folder) and its headers under include/kestrel/
# in their source sub-folder. A program uses kestrel_install_program(<target>).
# The library's own link dependencies must be installed or imported targets
# too (a static library that links kestrel_static cannot be exported).

set(KESTREL_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/kestrel)
# Private shared libraries (the off-device log stand-in): reached only through
# Kestrel's own RUNPATHs.
set(KESTREL_INSTALL_PRIVATE_LIBDIR ${CMAKE_INSTALL_LIBDIR}/kestrel)
set(KESTREL_INSTALL_DATADIR ${CMAKE_INSTALL_DATADIR}/kestrel)
set(KESTREL_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/kestrel)
set(KESTREL_INSTALL_PKGCONFIGDIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# What is installed falls in two parts, packaged apart (kestrel_debian_package):
#   runtime      what runs: the plug-in, the libraries' versioned files, the
#                private libraries, the tool and its examples
#   development  what a host builds against: headers, the CMake package, the
#                pkg-config files and the libraries' unversioned link names
# A host that only wants the headers needs the second alone, and with it the
# first (the CMake package names the plug-in's file), but nothing else.
set(KESTREL_RUNTIME_COMPONENT runtime)
set(KESTREL_RUNTIME_PACKAGE kestrel)
set(KESTREL_DEVELOPMENT_PACKAGE kestrel-dev)
set(KESTREL_DEVELOPMENT_COMPONENT development)
set(CMAKE_INSTALL_DEFAULT_COMPONENT_NAME ${KESTREL_RUNTIME_COMPONENT})

# The path from one install folder to another, both given relative to the
# prefix; the same under any prefix.
function(kestrel_relative_install_path from to out)
  file(RELATIVE_PATH rel /kestrel-prefix/${from} /kestrel-prefix/${to})
  if(rel STREQUAL "")
    set(rel .)
  endif()
  set(${out} ${rel} PARENT_SCOPE)
endfunction()

kestrel_relative_install_path(${CMAKE_INSTALL_LIBDIR} ${KESTREL_INSTALL_PRIVATE_LIBDIR}
                              KESTREL_PRIVATE_LIBDIR_FROM_LIBDIR)
kestrel_relative_install_path(${CMAKE_INSTALL_BINDIR} ${CMAKE_INSTALL_LIBDIR}
                              KESTREL_LIBDIR_FROM_BINDIR)
kestrel_relative_install_path(${KESTREL_INSTALL_PKGCONFIGDIR} . KESTREL_PREFIX_FROM_PKGCONFIGDIR)

# The public headers as hosts see them: include/kestrel/<folder>/ once
# installed, public-headers/kestrel/<folder>/ in the build. These copies name
# each other under the package's name (<kestrel/common/export.h>), so that
# only include/ goes on a host's path and no bare folder name (common/,
# plugin/, ...) enters its include namespace.
set(KESTREL_PUBLIC_HEADER_DIR ${PROJECT_BINARY_DIR}/public-headers)

# kestrel_install_headers([GENERATED] <header>...): public headers, named
# relative to the source root (GENERATED: to the generated/ folder of the
# build), installed under include/kestrel/ in the same sub-folder. Every
# header registered here is also compiled alone by the header check.
function(kestrel_install_headers)
  set(base ${PROJECT_SOURCE_DIR})
  set(headers ${ARGN})
  if(ARGV0 STREQUAL "GENERATED")
    list(POP_FRONT headers)
    set(base ${KESTREL_GENERATED_DIR})
  endif()
  foreach(header IN LISTS headers)
    set(copy ${KESTREL_PUBLIC_HEADER_DIR}/kestrel/${header})
    set_property(GLOBAL APPEND PROPERTY KESTREL_PUBLIC_HEADER_NAMES ${header})
    # An edit to the header configures again, which rewrites the copy.
    set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
                 ${base}/${header})
    file(READ ${base}/${header} text)
    string(REGEX REPLACE
           "#include \"((common|dtm|hdr10plus|metadata|plugin|preset)/[^\"]+)\""
           "#include <kestrel/\\1>" text "${text}")
    file(GENERATE OUTPUT ${copy} CONTENT "${text}")
    if(KESTREL_INSTALL)
      get_filename_component(folder ${header} DIRECTORY)
      install(FILES ${copy} DESTINATION ${KESTREL_INSTALL_INCLUDEDIR}/${folder}
              COMPONENT ${KESTREL_DEVELOPMENT_COMPONENT})
    endif()
  endforeach()
endfunction()

# kestrel_install_library(<target> [PRIVATE_FOLDER] [EXPORT_NAME <name>]
#                         [HEADERS <header>...])
#   PRIVATE_FOLDER: a shared library only Kestrel's own binaries load; goes to
#   lib/kestrel/, and finds its private neighbours beside itself. It is in the
#   CMake package only with an EXPORT_NAME: the plug-in's private dependencies
#   are, so that a program linking the plug-in is linked knowing where they are.
function(kestrel_install_library target)
  cmake_parse_arguments(arg "PRIVATE_FOLDER" "EXPORT_NAME" "HEADERS" ${ARGN})
  if(arg_HEADERS)
    kestrel_install_headers(${arg_HEADERS})
  endif()
  get_target_property(type ${target} TYPE)
  if(arg_EXPORT_NAME)
    set_target_properties(${target} PROPERTIES EXPORT_NAME ${arg_EXPORT_NAME})
  endif()
  if(NOT KESTREL_INSTALL)
    return()
  endif()
  if(arg_PRIVATE_FOLDER)
    if(type STREQUAL "SHARED_LIBRARY")  # an Android build has no stand-in
      set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN")
      set(export "")
      if(arg_EXPORT_NAME)
        set(export EXPORT kestrel-targets)
      endif()
      install(TARGETS ${target} ${export} LIBRARY DESTINATION ${KESTREL_INSTALL_PRIVATE_LIBDIR}
              COMPONENT ${KESTREL_RUNTIME_COMPONENT})
    endif()
    return()
  endif()
  if(type STREQUAL "SHARED_LIBRARY" AND NOT ANDROID)
    set_target_properties(${target} PROPERTIES
                          INSTALL_RPATH "$ORIGIN/${KESTREL_PRIVATE_LIBDIR_FROM_LIBDIR}")
  endif()
  install(TARGETS ${target} EXPORT kestrel-targets
          LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT ${KESTREL_RUNTIME_COMPONENT}
                  NAMELINK_COMPONENT ${KESTREL_DEVELOPMENT_COMPONENT}
          ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT ${KESTREL_DEVELOPMENT_COMPONENT}
          RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT ${KESTREL_RUNTIME_COMPONENT})
endfunction()

# kestrel_install_program(<target>): a program in bin/ that finds Kestrel's
# libraries, public and private, relative to itself.
function(kestrel_install_program target)
  set_target_properties(${target} PROPERTIES INSTALL_RPATH
    "$ORIGIN/${KESTREL_LIBDIR_FROM_BINDIR};$ORIGIN/${KESTREL_LIBDIR_FROM_BINDIR}/${KESTREL_PRIVATE_LIBDIR_FROM_LIBDIR}")
  if(KESTREL_INSTALL)
    install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
            COMPONENT ${KESTREL_RUNTIME_COMPONENT})
  endif()
endfunction()

# A build that names a preset file installs that file and installs a second
# build of the plug-in that loads it from its installed path (the plug-in in
# the build tree keeps loading it from where it is). That path is compiled
# in, so the prefix cannot change at install time: checked before anything
# is installed.
if(KESTREL_PRESET_FILE)
  get_filename_component(preset_name ${KESTREL_PRESET_FILE} NAME)
  set(KESTREL_INSTALL_PRESETDIR ${KESTREL_INSTALL_DATADIR}/preset)
  set(KESTREL_INSTALLED_PRESET_FILE ${CMAKE_INSTALL_PREFIX}/${KESTREL_INSTALL_PRESETDIR}/${preset_name})
  if(KESTREL_INSTALL)
    install(CODE "
      if(NOT CMAKE_INSTALL_PREFIX STREQUAL \"${CMAKE_INSTALL_PREFIX}\")
        message(FATAL_ERROR \"This build's plug-in loads its preset from ${KESTREL_INSTALLED_PRESET_FILE}; \"
          \"install it under ${CMAKE_INSTALL_PREFIX}, not \${CMAKE_INSTALL_PREFIX}, or configure \"
          \"again with -DCMAKE_INSTALL_PREFIX=\${CMAKE_INSTALL_PREFIX}.\")
      endif()")
  endif()
endif()

# kestrel_install_plugin(<target> <preset file or "">): installs the plug-in
# as kestrel::plugin, built for its installed preset path if it has a preset.
function(kestrel_install_plugin target preset)
  if(preset)
    kestrel_add_plugin(${target}_installed "${KESTREL_INSTALLED_PRESET_FILE}")
    set_target_properties(${target}_installed PROPERTIES
                          OUTPUT_NAME ${target}
                          LIBRARY_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/for-install)
    if(KESTREL_INSTALL)
      install(FILES ${preset} DESTINATION ${KESTREL_INSTALL_PRESETDIR}
              COMPONENT ${KESTREL_RUNTIME_COMPONENT})
    endif()
    set(target ${target}_installed)
  endif()
  kestrel_install_library(${target} EXPORT_NAME plugin)
endfunction()

# Compiles every public header alone in its own translation unit, as a host
# includes it (<kestrel/plugin/hdrCoef.h>), against the public headers only:
# a header that misses an include, or includes something that is not
# installed, fails the build.
function(kestrel_add_header_check)
  get_property(names GLOBAL PROPERTY KESTREL_PUBLIC_HEADER_NAMES)
  set(root ${PROJECT_BINARY_DIR}/header-check)
  set(sources "")
  foreach(name IN LISTS names)
    string(MAKE_C_IDENTIFIER ${name} unit)
    file(CONFIGURE OUTPUT ${root}/${unit}.cpp CONTENT "#include <kestrel/${name}>\n")
    list(APPEND sources ${root}/${unit}.cpp)
  endforeach()
  add_library(kestrel_header_check OBJECT ${sources})
  # No dependency's include folder: a public header that includes one (a
  # jsoncpp header, say) fails here.
  target_include_directories(kestrel_header_check PRIVATE ${KESTREL_PUBLIC_HEADER_DIR})
  # Hosts may build with warnings as errors.
  target_compile_options(kestrel_header_check PRIVATE -Werror)
endfunction()

function(kestrel_finish_install)
  if(KESTREL_BUILD_TESTS)
    kestrel_add_header_check()
  endif()
  if(NOT KESTREL_INSTALL)
    return()
  endif()
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION ${KESTREL_INSTALL_DATADIR}
          COMPONENT ${KESTREL_RUNTIME_COMPONENT})
  # Each Debian package carries the copyright file under its own name.
  install(FILES ${PROJECT_SOURCE_DIR}/cmake/debian-copyright DESTINATION ${CMAKE_INSTALL_DOCDIR}
          RENAME copyright COMPONENT ${KESTREL_RUNTIME_COMPONENT})
  install(FILES ${PROJECT_SOURCE_DIR}/cmake/debian-copyright
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${KESTREL_DEVELOPMENT_PACKAGE}
          RENAME copyright COMPONENT ${KESTREL_DEVELOPMENT_COMPONENT})

  install(EXPORT kestrel-targets NAMESPACE kestrel:: FILE kestrelTargets.cmake
          DESTINATION ${KESTREL_INSTALL_CMAKEDIR} COMPONENT ${KESTREL_DEVELOPMENT_COMPONENT})
  include(CMakePackageConfigHelpers)
  configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/kestrelConfig.cmake.in
                                ${PROJECT_BINARY_DIR}/kestrelConfig.cmake
                                INSTALL_DESTINATION ${KESTREL_INSTALL_CMAKEDIR})
  # While the major version is 0, a minor version may break callers.
  write_basic_package_version_file(${PROJECT_BINARY_DIR}/kestrelConfigVersion.cmake
                                   COMPATIBILITY SameMinorVersion)
  install(FILES ${PROJECT_BINARY_DIR}/kestrelConfig.cmake
                ${PROJECT_BINARY_DIR}/kestrelConfigVersion.cmake
          DESTINATION ${KESTREL_INSTALL_CMAKEDIR} COMPONENT ${KESTREL_DEVELOPMENT_COMPONENT})

  configure_file(${PROJECT_SOURCE_DIR}/cmake/kestrel.pc.in ${PROJECT_BINARY_DIR}/kestrel.pc @ONLY)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/kestrel-hdr10plus.pc.in
                 ${PROJECT_BINARY_DIR}/kestrel-hdr10plus.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/kestrel.pc ${PROJECT_BINARY_DIR}/kestrel-hdr10plus.pc
          DESTINATION ${KESTREL_INSTALL_PKGCONFIGDIR} COMPONENT ${KESTREL_DEVELOPMENT_COMPONENT})

  if(KESTREL_TOP_LEVEL)
    kestrel_debian_package()
  endif()
endfunction()

# `cpack -G DEB`: two packages in the build's package/ folder (wherever cpack
# runs, so never in the source tree), both installing under /usr with the
# libraries in the multiarch folder:
#   kestrel_<version>_<arch>.deb      the runtime part; Depends computed from
#                                     the shared libraries it ships
#   kestrel-dev_<version>_<arch>.deb  the development part; Depends on
#                                     kestrel of the same version and nothing
#                                     else: no public header includes a
#                                     dependency's and the CMake package finds
#                                     none, so a host needs no libjsoncpp-dev
# each with its /usr/share/doc/<package>/copyright. The Maintainer field is
# the packager's, given at configure time; cpack refuses to run without it
# rather than ship a made-up address.
macro(kestrel_debian_package)
  set(KESTREL_PACKAGE_CONTACT "" CACHE STRING
      "Maintainer field of the Debian package: \"Name <address>\" (required by cpack)")
  set(CPACK_PACKAGE_NAME kestrel)
  set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
  set(CPACK_PACKAGE_CONTACT "${KESTREL_PACKAGE_CONTACT}")
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_STRIP_FILES ON)

  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_ALL ${KESTREL_RUNTIME_COMPONENT} ${KESTREL_DEVELOPMENT_COMPONENT})
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  string(TOUPPER ${KESTREL_RUNTIME_COMPONENT} runtime)
  string(TOUPPER ${KESTREL_DEVELOPMENT_COMPONENT} development)

  set(CPACK_DEBIAN_${runtime}_PACKAGE_NAME ${KESTREL_RUNTIME_PACKAGE})
  set(CPACK_DEBIAN_${runtime}_PACKAGE_SECTION video)
  set(CPACK_DEBIAN_${runtime}_DESCRIPTION
      "HDR conversion plug-in for a display processing unit, with its workbench tool\nThe plug-in liborrin_kestrel.so, the HDR10+ metadata library libkestrel_hdr10plus, and the kestrel tool that drives them, with example presets and frame scripts.")
  set(CPACK_DEBIAN_${runtime}_PACKAGE_SHLIBDEPS ON)
  # dpkg-shlibdeps runs in the package's staging folder; the private log
  # stand-in is found there and belongs to the package itself.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS usr/${KESTREL_INSTALL_PRIVATE_LIBDIR})

  set(CPACK_DEBIAN_${development}_PACKAGE_NAME ${KESTREL_DEVELOPMENT_PACKAGE})
  set(CPACK_DEBIAN_${development}_PACKAGE_SECTION libdevel)
  set(CPACK_DEBIAN_${development}_DESCRIPTION
      "HDR conversion plug-in for a display processing unit: development files\nWhat a host builds against: the headers under include/kestrel/, the CMake package (kestrel::plugin, kestrel::headers, kestrel::hdr10plus) and kestrel.pc, kestrel-hdr10plus.pc.")
  # The CMake package names the runtime's files, so it needs that very build.
  set(CPACK_DEBIAN_${development}_PACKAGE_DEPENDS
      "${KESTREL_RUNTIME_PACKAGE} (= ${PROJECT_VERSION})")
  set(CPACK_DEBIAN_${development}_PACKAGE_SHLIBDEPS OFF)
  # Up to 0.2 one kestrel package held the development files too; taking them
  # over from it on an upgrade needs both fields, or dpkg refuses the overlap.
  set(CPACK_DEBIAN_${development}_PACKAGE_REPLACES "${KESTREL_RUNTIME_PACKAGE} (<< 0.3)")
  set(CPACK_DEBIAN_${development}_PACKAGE_BREAKS "${KESTREL_RUNTIME_PACKAGE} (<< 0.3)")

  set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/kestrel_cpack_checks.cmake)
  file(WRITE ${CPACK_PROJECT_CONFIG_FILE} [=[
if(NOT CPACK_PACKAGE_CONTACT OR CPACK_PACKAGE_CONTACT MATCHES "localhost")
  message(FATAL_ERROR "the package needs a maintainer: configure with "
                      "-DKESTREL_PACKAGE_CONTACT=\"Name <address>\"")
endif()
# Each package's description starts with its own summary line; cpack would
# put the project's summary above both.
unset(CPACK_PACKAGE_DESCRIPTION_SUMMARY)
]=])
  include(CPack)
endmacro()
