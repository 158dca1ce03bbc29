#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Builds Kestrel and runs its tests.
#
#   bash scripts/test.sh           the full run, what CI runs (.ci/run):
#                                  set-up, build and unit tests, the whole suite
#                                  built with clang against libc++ (with the
#                                  plug-in's exports compared),
#                                  the whole suite
#                                  under AddressSanitizer + UndefinedBehaviorSanitizer,
#                                  the multi-thread tests under ThreadSanitizer,
#                                  the installed package (a moved install
#                                  prefix, five host programs built against it,
#                                  hardened binaries, the .deb and its DEP-5
#                                  copyright file), the fuzzers (50 seconds
#                                  each), the arm64 cross build with the whole
#                                  suite under qemu-user, and a benchmark smoke run
#   bash scripts/test.sh --quick   day-to-day: build and unit tests only
#
# Every stage prints a header and its duration; the first failing stage ends
# the run with a non-zero status. Build trees: build/ (plain), build-libcxx/, build-asan/,
# build-tsan/, build-fuzz/, build-arm64/.
# KESTREL_FUZZ_SECONDS sets the time per fuzzer (default 50: seven targets
# in about the six minutes six targets took at 60).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

mode=full
case "${1:-}" in
  "") ;;
  --quick) mode=quick ;;
  *) echo "usage: $0 [--quick]" >&2; exit 2 ;;
esac

jobs=$(nproc)
fuzz_seconds=${KESTREL_FUZZ_SECONDS:-50}

stage_names=()
stage_seconds=()
current_stage=""
stage_start=0
run_start=$SECONDS

begin_stage() {
  current_stage=$1
  stage_start=$SECONDS
  printf '\n========== [%s] %s ==========\n' "$1" "$2"
}

end_stage() {
  local took=$((SECONDS - stage_start))
  stage_names+=("$current_stage")
  stage_seconds+=("$took")
  printf '========== [%s] passed in %ds ==========\n' "$current_stage" "$took"
  current_stage=""
}

summary() {
  local status=$?
  printf '\n========== summary (%s mode) ==========\n' "$mode"
  local i
  for i in "${!stage_names[@]}"; do
    printf '  %-10s passed  %5ds\n' "${stage_names[$i]}" "${stage_seconds[$i]}"
  done
  if [ -n "$current_stage" ]; then
    printf '  %-10s FAILED  %5ds\n' "$current_stage" $((SECONDS - stage_start))
  fi
  printf '  total              %5ds\n' $((SECONDS - run_start))
  if [ "$status" -ne 0 ]; then
    printf 'test.sh: FAILED (stage %s, status %d)\n' "${current_stage:-?}" "$status"
  fi
}
trap summary EXIT

fail() {
  echo "test.sh: $*" >&2
  exit 1
}

configure() {
  local dir=$1
  shift
  mkdir -p "$dir"
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >"$dir/configure.log" 2>&1 ||
    { cat "$dir/configure.log"; fail "configuring $dir failed"; }
}

# Builds quietly into $dir/build.log; shows the compiler's warnings, and the
# end of the log when the build fails.
build_tree() {
  local dir=$1
  shift
  if ! cmake --build "$dir" -j"$jobs" "$@" >"$dir/build.log" 2>&1; then
    tail -n 60 "$dir/build.log"
    fail "building $dir failed (log: $dir/build.log)"
  fi
  if grep -q 'warning:' "$dir/build.log"; then
    echo "warnings in $dir:"
    grep 'warning:' "$dir/build.log" | sort -u
  fi
}

configure_and_build() {
  configure "$@"
  build_tree "$1"
}

# --- set-up -----------------------------------------------------------------
begin_stage setup "install what is missing"
if [ "$mode" = quick ]; then
  bash scripts/setup.sh
else
  bash scripts/setup.sh --full
fi
end_stage

# --- plain build and unit tests ---------------------------------------------
begin_stage unit "build (RelWithDebInfo) and run every test"
# Every source and build file carries the licence line (scripts/spdx.sh add
# puts it in).
mkdir -p build
bash scripts/spdx.sh check >build/spdx.log 2>&1 ||
  { cat build/spdx.log; fail "files without the licence line (bash scripts/spdx.sh add)"; }
cat build/spdx.log
if [ "$mode" = quick ]; then
  configure_and_build build
else
  configure_and_build build -DKESTREL_BUILD_BENCH=ON
fi
ctest --test-dir build --output-on-failure -j"$jobs"
end_stage

if [ "$mode" = quick ]; then
  exit 0
fi

# --- the installed package ------------------------------------------------------
# Installs the plain build into a temporary prefix, moves the prefix, and
# builds and runs two host projects from tests/consumer/ against the moved
# tree, outside the source tree: one through the CMake package, one from a
# pkg-config compiler line. Then builds the .deb and checks its contents and
# control fields (without installing it).
begin_stage package "install, move the prefix, host projects against it, the .deb"
package_work=$(mktemp -d "${TMPDIR:-/tmp}/kestrel-package.XXXXXX")
first=$package_work/prefix
prefix=$package_work/moved
cmake --install build --prefix "$first" >"$package_work/install.log" 2>&1 ||
  { cat "$package_work/install.log"; fail "cmake --install failed"; }
# Nothing installed may name the source or the build folder.
named=$(grep -rlF -e "$root" -e "$(cd build && pwd -P)" "$first" || true)
[ -z "$named" ] || fail "installed files name the source or build folder: $named"
# Libraries go to the multiarch folder, as Debian lays them out.
libdir=lib/$(c++ -print-multiarch)
[ "$libdir" != lib/ ] || fail "the compiler names no multiarch folder"
[ -f "$first/$libdir/liborrin_kestrel.so" ] ||
  fail "the plug-in is not in $libdir: $(cd "$first" && find . -name 'liborrin_kestrel.so')"
[ "$(readelf -d "$first/$libdir/liborrin_kestrel.so" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')" = \
  liborrin_kestrel.so ] || fail "the plug-in's SONAME is not liborrin_kestrel.so"
# The metadata library is versioned: the development link names the SONAME,
# which carries the major and minor version.
project_version=$(sed -n 's/^project(kestrel VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
hdr10plus_soname=$(readelf -d "$first/$libdir/libkestrel_hdr10plus.so" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
[ "$hdr10plus_soname" = "libkestrel_hdr10plus.so.$project_version" ] ||
  fail "libkestrel_hdr10plus's SONAME is '$hdr10plus_soname', not libkestrel_hdr10plus.so.$project_version"
[ -L "$first/$libdir/libkestrel_hdr10plus.so" ] && [ -f "$first/$libdir/$hdr10plus_soname" ] ||
  fail "libkestrel_hdr10plus.so is not a link to $hdr10plus_soname"
for binary in "$first/$libdir"/*.so "$first/$libdir"/kestrel/*.so "$first"/bin/*; do
  runpath=$(readelf -d "$binary" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
  case ":$runpath" in
    *:/*) fail "$binary has an absolute RUNPATH: $runpath" ;;
    :) fail "$binary has no RUNPATH" ;;
  esac
  echo "  RUNPATH of ${binary#"$first"/}: $runpath"
done
# Every shipped binary (plug-in, libraries, tool) carries the hardening it
# was built with (cmake/hardening.cmake); a binary that lost a protection
# fails here, named with what it lacks.
mapfile -d '' shipped < <(find "$first/$libdir" "$first/bin" -type f \( -name '*.so*' -o -perm -u+x \) -print0)
[ ${#shipped[@]} -ge 5 ] || fail "only ${#shipped[@]} binaries installed: ${shipped[*]}"
bash scripts/check_hardening.sh "${shipped[@]}" || fail "a shipped binary lacks a hardening protection"
echo "  hardened (stack protector, fortified calls, full RELRO, immediate binding, PIE tool): ${#shipped[@]} binaries"
# Headers are reached under the package's name: include/ holds kestrel/ alone,
# and each header compiles alone as a host includes it, with include/ (and no
# dependency's headers) on the path.
[ "$(ls "$first/include")" = kestrel ] ||
  fail "include/ holds more than kestrel/: $(ls "$first/include" | tr '\n' ' ')"
for header in $(cd "$first/include/kestrel" && find . -name '*.h' | sort); do
  echo "#include <kestrel/${header#./}>" |
    c++ -std=c++17 -Wall -Wextra -Werror -fsyntax-only -I"$first/include" -x c++ - ||
    fail "installed header ${header#./} does not compile on its own as <kestrel/${header#./}>"
done
# The CMake package and the pkg-config files ask for nothing the package does
# not ship (jsoncpp is the libraries' own business).
if grep -rliE 'jsoncpp|find_dependency' "$first/$libdir/cmake/kestrel" "$first/$libdir/pkgconfig"; then
  fail "the CMake package or a pkg-config file asks for jsoncpp"
fi
mv "$first" "$prefix"
version=$(PKG_CONFIG_PATH=$prefix/$libdir/pkgconfig pkg-config --modversion kestrel)
echo "  installed and moved: version $version"

# The host projects are copied out too, so that nothing in them can reach
# into the source tree. jsoncpp is hidden from them: a host needs none of it.
cp -r tests/consumer "$package_work/consumer-sources"
consumer=$package_work/cmake-consumer
cmake -S "$package_work/consumer-sources/cmake" -B "$consumer" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_DISABLE_FIND_PACKAGE_jsoncpp=ON >"$package_work/consumer.log" 2>&1 &&
  cmake --build "$consumer" >>"$package_work/consumer.log" 2>&1 ||
  { cat "$package_work/consumer.log"; fail "the CMake consumer does not build"; }
for program in cmake_consumer hdr10plus_consumer headers_consumer; do
  "$consumer/$program" >"$package_work/$program.out" 2>&1 ||
    { tail -n 40 "$package_work/$program.out"; fail "the CMake consumer $program failed"; }
  grep "^$program:" "$package_work/$program.out" | sed 's/^/  /'
done

pc_path=$prefix/$libdir/pkgconfig
# shellcheck disable=SC2046  # pkg-config's flags are meant to split
PKG_CONFIG_PATH=$pc_path c++ -std=c++17 -Wall -Wextra \
  -o "$package_work/pkgconfig_consumer" "$package_work/consumer-sources/pkgconfig/main.cpp" \
  $(PKG_CONFIG_PATH=$pc_path pkg-config --cflags --libs kestrel) \
  -Wl,-rpath,"$(PKG_CONFIG_PATH=$pc_path pkg-config --variable=libdir kestrel)" ||
  fail "the pkg-config consumer does not build"
"$package_work/pkgconfig_consumer" "$prefix/share/kestrel/presets/example_preset.json" \
  >"$package_work/pkgconfig-consumer.out" 2>&1 ||
  { tail -n 40 "$package_work/pkgconfig-consumer.out"; fail "the pkg-config consumer failed"; }
grep '^pkgconfig_consumer:' "$package_work/pkgconfig-consumer.out" | sed 's/^/  /'
# The metadata library alone, from its own pkg-config file.
# shellcheck disable=SC2046  # pkg-config's flags are meant to split
PKG_CONFIG_PATH=$pc_path c++ -std=c++17 -Wall -Wextra \
  -o "$package_work/hdr10plus_pkgconfig_consumer" \
  "$package_work/consumer-sources/cmake/hdr10plus_consumer.cpp" \
  $(PKG_CONFIG_PATH=$pc_path pkg-config --cflags --libs kestrel-hdr10plus) \
  -Wl,-rpath,"$(PKG_CONFIG_PATH=$pc_path pkg-config --variable=libdir kestrel-hdr10plus)" ||
  fail "the kestrel-hdr10plus pkg-config consumer does not build"
"$package_work/hdr10plus_pkgconfig_consumer" >/dev/null 2>&1 ||
  fail "the kestrel-hdr10plus pkg-config consumer failed"

shown=$("$prefix/bin/kestrel" --version) || fail "the moved kestrel --version failed"
# The tool's version and that of the plug-in it found in the moved prefix.
case "$shown" in
  "kestrel $version"*"$prefix/bin/"*"liborrin_kestrel.so, version $version"*) ;;
  *) fail "the moved kestrel --version does not show $version for itself and the moved plug-in: $shown" ;;
esac
echo "$shown" | sed 's/^/  moved kestrel --version: /'
"$prefix/bin/kestrel" frame "$prefix/share/kestrel/frames/demo.json" \
  >"$package_work/frame.out" 2>&1 ||
  { tail -n 40 "$package_work/frame.out"; fail "the moved kestrel frame demo.json failed"; }
tail -n 1 "$package_work/frame.out" | sed 's/^/  moved kestrel frame: /'
# With the example preset loaded at run time (the tool's private library),
# every layer of the demo gets its block.
"$prefix/bin/kestrel" frame --preset "$prefix/share/kestrel/presets/example_preset.json" \
  "$prefix/share/kestrel/frames/demo.json" >"$package_work/frame-preset.out" 2>&1 ||
  { tail -n 40 "$package_work/frame-preset.out"; fail "the moved kestrel frame --preset failed"; }
grep -q '^1 frame, 0 without a block' "$package_work/frame-preset.out" ||
  { tail -n 40 "$package_work/frame-preset.out"; fail "the moved kestrel frame --preset left a frame without a block"; }

# The .deb: without a maintainer cpack refuses; with one, it writes into the
# build folder, wherever it runs from, and leaves the source tree as it was.
untracked_before=$(git status --porcelain --ignored --untracked-files=all | grep -v ' build' || true)
cmake -S . -B build -DKESTREL_PACKAGE_CONTACT= >"$package_work/reconfigure.log" 2>&1 ||
  { cat "$package_work/reconfigure.log"; fail "configuring without a maintainer failed"; }
if cpack -G DEB --config "$root/build/CPackConfig.cmake" >"$package_work/cpack-unset.log" 2>&1; then
  fail "cpack made a package without a maintainer"
fi
grep -q 'the package needs a maintainer' "$package_work/cpack-unset.log" ||
  { cat "$package_work/cpack-unset.log"; fail "cpack failed without saying that a maintainer is needed"; }
maintainer="$(git log -1 --format='%an <%ae>')"
cmake -S . -B build -DKESTREL_PACKAGE_CONTACT="$maintainer" >"$package_work/reconfigure.log" 2>&1 ||
  { cat "$package_work/reconfigure.log"; fail "configuring the package's maintainer failed"; }
rm -rf build/package
cpack -G DEB --config "$root/build/CPackConfig.cmake" >"$package_work/cpack.log" 2>&1 ||
  { cat "$package_work/cpack.log"; fail "cpack -G DEB failed"; }
untracked_after=$(git status --porcelain --ignored --untracked-files=all | grep -v ' build' || true)
[ "$untracked_before" = "$untracked_after" ] ||
  fail "cpack left files in the source tree: $(diff <(echo "$untracked_before") <(echo "$untracked_after"))"
arch=$(dpkg --print-architecture)
# Two packages: kestrel (what runs) and kestrel-dev (what a host builds
# against). Each file lands in exactly one of them.
deb=build/package/kestrel_${version}_${arch}.deb
dev_deb=build/package/kestrel-dev_${version}_${arch}.deb
for package in "$deb" "$dev_deb"; do
  [ -f "$package" ] || fail "no ${package##*/} (cpack made: $(ls build/package/*.deb 2>/dev/null))"
done
dpkg-deb --contents "$deb" >"$package_work/deb-contents.txt"
dpkg-deb --contents "$dev_deb" >"$package_work/dev-deb-contents.txt"
in_package() {  # in_package <contents file> <path>...
  local contents=$1 path
  shift
  for path in "$@"; do
    grep -q " \./$path\( \|$\)" "$contents" || fail "${contents##*/} lacks /$path"
  done
}
in_package "$package_work/deb-contents.txt" \
  "usr/$libdir/liborrin_kestrel.so" "usr/$libdir/kestrel/liblog.so" usr/bin/kestrel \
  "usr/$libdir/$hdr10plus_soname" "usr/$libdir/kestrel/libkestrel_runtime_preset.so" \
  usr/share/doc/kestrel/copyright usr/share/kestrel/frames/demo.json \
  usr/share/kestrel/presets/example_preset.json
in_package "$package_work/dev-deb-contents.txt" \
  "usr/$libdir/libkestrel_hdr10plus.so" \
  usr/include/kestrel/plugin/IDPUHdr10CommandWriter.h usr/include/kestrel/preset/Hdr10Lut.h \
  "usr/$libdir/cmake/kestrel/kestrelConfig.cmake" "usr/$libdir/cmake/kestrel/kestrelConfigVersion.cmake" \
  "usr/$libdir/pkgconfig/kestrel.pc" "usr/$libdir/pkgconfig/kestrel-hdr10plus.pc" \
  usr/share/doc/kestrel-dev/copyright
# Nothing a host builds against in the runtime package, nothing that runs in
# the development one, no file in both.
if grep -E ' \./usr/(include/|lib/[^/ ]+/(cmake|pkgconfig)/|lib/[^/ ]+/libkestrel_hdr10plus\.so( |$))' \
    "$package_work/deb-contents.txt"; then
  fail "${deb##*/} ships files of the development package"
fi
if grep -E ' \./usr/(bin/|share/kestrel/|lib/[^/ ]+/[^/ ]+\.so\.)' "$package_work/dev-deb-contents.txt"; then
  fail "${dev_deb##*/} ships files of the runtime package"
fi
shipped_files() { sed -n 's/^-.* \.\/\(.*\)$/\1/p' "$1" | sort; }
both=$(comm -12 <(shipped_files "$package_work/deb-contents.txt") \
  <(shipped_files "$package_work/dev-deb-contents.txt"))
[ -z "$both" ] || fail "files in both packages: $both"
if cat "$package_work/deb-contents.txt" "$package_work/dev-deb-contents.txt" |
    grep -E ' \./usr/lib/[^/]+\.so'; then
  fail "a package has libraries outside the multiarch folder"
fi
field() { dpkg-deb --field "$1" "$2"; }
for package in "$deb" "$dev_deb"; do
  [ "$(field "$package" Version)" = "$version" ] || fail "${package##*/} Version: $(field "$package" Version)"
  [ "$(field "$package" Architecture)" = "$arch" ] ||
    fail "${package##*/} Architecture: $(field "$package" Architecture)"
  [ "$(field "$package" Maintainer)" = "$maintainer" ] ||
    fail "${package##*/} Maintainer: $(field "$package" Maintainer), expected $maintainer"
done
[ "$(field "$deb" Package)" = kestrel ] || fail "Package: $(field "$deb" Package)"
[ "$(field "$dev_deb" Package)" = kestrel-dev ] || fail "Package: $(field "$dev_deb" Package)"
depends=$(field "$deb" Depends)
for library in libjsoncpp25 libcairo2 libc6 libstdc++6; do
  case ", $depends" in *", $library"*) ;; *) fail "${deb##*/} Depends lacks $library: $depends" ;; esac
done
# The development package needs the runtime of the same build and nothing
# else: no -dev package of a dependency (jsoncpp's least of all).
dev_depends=$(field "$dev_deb" Depends)
[ "$dev_depends" = "kestrel (= $version)" ] ||
  fail "${dev_deb##*/} Depends: '$dev_depends', expected 'kestrel (= $version)'"
# It takes over the development files the single kestrel package of 0.2 and
# earlier held: without both fields an upgrade stops on the overlap.
for relation in Replaces Breaks; do
  [ "$(field "$dev_deb" $relation)" = "kestrel (<< 0.3)" ] ||
    fail "${dev_deb##*/} $relation: '$(field "$dev_deb" $relation)', expected 'kestrel (<< 0.3)'"
done
echo "  ${deb##*/}: $(wc -l <"$package_work/deb-contents.txt") entries; Maintainer: $(field "$deb" Maintainer); Depends: $depends"
echo "  ${dev_deb##*/}: $(wc -l <"$package_work/dev-deb-contents.txt") entries; Depends: $dev_depends"
# The packaged tool runs from the unpacked runtime package alone (it is
# relocatable).
dpkg-deb -x "$deb" "$package_work/unpacked"
# Its copyright file is the machine-readable one of the source tree, under
# the project's licence, naming the third-party files' licences.
packaged_copyright=$package_work/unpacked/usr/share/doc/kestrel/copyright
cmp -s "$packaged_copyright" cmake/debian-copyright ||
  fail "the package's copyright file is not cmake/debian-copyright"
/usr/bin/python3 scripts/check_copyright.py "$packaged_copyright" . ||
  fail "the package's copyright file is not a valid machine-readable (DEP-5) one"
"$package_work/unpacked/usr/bin/kestrel" frame "$package_work/unpacked/usr/share/kestrel/frames/demo.json" \
  >/dev/null 2>&1 || fail "the packaged kestrel does not run from the unpacked package"
# With the development package beside it, a host that only wants the headers
# builds from the packages' /usr with jsoncpp hidden, and so does one that
# links the plug-in.
dpkg-deb -x "$dev_deb" "$package_work/unpacked"
cmp -s "$package_work/unpacked/usr/share/doc/kestrel-dev/copyright" cmake/debian-copyright ||
  fail "${dev_deb##*/}'s copyright file is not cmake/debian-copyright"
deb_consumer=$package_work/deb-consumer
cmake -S "$package_work/consumer-sources/cmake" -B "$deb_consumer" \
  -DCMAKE_PREFIX_PATH="$package_work/unpacked/usr" -DCMAKE_DISABLE_FIND_PACKAGE_jsoncpp=ON \
  >"$package_work/deb-consumer.log" 2>&1 &&
  cmake --build "$deb_consumer" --target headers_consumer cmake_consumer \
    >>"$package_work/deb-consumer.log" 2>&1 ||
  { cat "$package_work/deb-consumer.log"; fail "a host does not build against the two packages"; }
"$deb_consumer/headers_consumer" >/dev/null 2>&1 ||
  fail "the headers-only host built against the packages failed"
echo "  hosts built against the unpacked packages, jsoncpp hidden: headers_consumer, cmake_consumer"
rm -rf "$package_work"
end_stage

# --- clang + libc++: the whole suite, the plug-in's exports -----------------
# The device builds the plug-in with clang against libc++. Everything C++ the
# build links is built for libc++ too (scripts/libcxx_deps.sh: jsoncpp from
# Debian's source package, GoogleTest from /usr/src/googletest; cached between
# runs); the C libraries (cairo, libav*, libpng) are Debian's own. Then every
# test runs (goldens, exact lines, tables), no binary of the build may name
# libstdc++, and the plug-in must export the same functions as the libstdc++
# build of the unit stage, each standard library's own spelling set aside.
begin_stage libcxx "clang + libc++: every test, the plug-in's exports against the libstdc++ build's"
libcxx_prefix=$(bash scripts/libcxx_deps.sh) || fail "building jsoncpp and GoogleTest for libc++ failed"
echo "  jsoncpp and GoogleTest for libc++: $libcxx_prefix"
libcxx_flags=-stdlib=libc++
CC=clang CXX=clang++ configure build-libcxx -DCMAKE_PREFIX_PATH="$libcxx_prefix" \
  -DCMAKE_CXX_FLAGS="$libcxx_flags" -DCMAKE_EXE_LINKER_FLAGS="$libcxx_flags" \
  -DCMAKE_SHARED_LINKER_FLAGS="$libcxx_flags" -DCMAKE_MODULE_LINKER_FLAGS="$libcxx_flags"
build_tree build-libcxx
libcxx_binaries=0
while IFS= read -r -d '' binary; do
  case "$(file -b "$binary")" in ELF*) ;; *) continue ;; esac
  readelf -d "$binary" >build-libcxx/needed.txt
  if grep -q 'NEEDED.*\[libstdc++' build-libcxx/needed.txt; then
    fail "$binary links libstdc++"
  fi
  grep -q 'NEEDED.*\[libc++' build-libcxx/needed.txt && libcxx_binaries=$((libcxx_binaries + 1))
done < <(find build-libcxx -path build-libcxx/CMakeFiles -prune -o -type f \( -name '*.so*' -o -perm -u+x \) -print0)
echo "  $libcxx_binaries binaries link libc++, none libstdc++"
ctest --test-dir build-libcxx --output-on-failure -j"$jobs"
python3 scripts/compare_exports.py build/liborrin_kestrel.so build-libcxx/liborrin_kestrel.so ||
  fail "the plug-in's exports differ between the libstdc++ and the libc++ build"
end_stage

# --- AddressSanitizer + UndefinedBehaviorSanitizer, whole suite --------------
# float-cast-overflow is not part of GCC's "undefined" group; an out-of-range
# float-to-integer cast is exactly the fault that differs between x86 and arm64.
begin_stage asan "AddressSanitizer + UndefinedBehaviorSanitizer: every test"
configure_and_build build-asan -DKESTREL_SANITIZE=address,undefined,float-cast-overflow
ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:abort_on_error=0:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1 \
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j"$jobs"
end_stage

# --- ThreadSanitizer, the multi-thread tests ---------------------------------
# Tests whose GoogleTest names contain "Threads" drive writers on several
# threads at once; GTEST_FILTER selects them in every test executable.
begin_stage tsan "ThreadSanitizer: tests named *Threads*"
configure_and_build build-tsan -DKESTREL_SANITIZE=thread
tsan_log=build-tsan/ctest.log
if ! GTEST_FILTER='*Threads*' TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
    ctest --test-dir build-tsan -V -j"$jobs" >"$tsan_log" 2>&1; then
  tail -n 200 "$tsan_log"
  fail "ThreadSanitizer run failed (full log: $tsan_log)"
fi
threads_ran=$(grep -c '\[       OK \] .*Threads' "$tsan_log" || true)
grep -E '^[0-9]+: \[       OK \] .*Threads' "$tsan_log" | sed 's/^[0-9]*: /  /' || true
[ "$threads_ran" -gt 0 ] || fail "no test named *Threads* ran under ThreadSanitizer"
echo "tsan: $threads_ran multi-thread tests passed"
end_stage

# --- fuzzing ------------------------------------------------------------------
begin_stage fuzz "libFuzzer targets, ${fuzz_seconds}s each (clang, ASan + UBSan)"
fuzz_targets=(preset_loader hdr10plus_path host_calls hdr10plus_payload hdr10plus_json annexb_reader
              file_extent png_still)
CC=clang CXX=clang++ configure build-fuzz \
  -DKESTREL_SANITIZE=address,undefined,float-cast-overflow -DKESTREL_BUILD_FUZZ=ON \
  -DKESTREL_BUILD_TESTS=OFF -DKESTREL_BUILD_TOOLS=OFF
build_tree build-fuzz
for target in "${fuzz_targets[@]}"; do
  work=build-fuzz/run/$target
  mkdir -p "$work/corpus" "$work/artifacts"
  echo "--- fuzz_$target"
  dict=()
  [ -f "fuzz/$target.dict" ] && dict=(-dict="fuzz/$target.dict")
  # The committed seeds are read only; new inputs go to the work corpus.
  # -close_fd_mask=3 silences the library's own lines; libFuzzer and the
  # sanitizers keep reporting on a duplicate of standard error.
  ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    "build-fuzz/fuzz/fuzz_$target" -max_total_time="$fuzz_seconds" -timeout=30 "${dict[@]}" \
    -rss_limit_mb=2048 -close_fd_mask=3 -print_final_stats=1 \
    -artifact_prefix="$work/artifacts/" "$work/corpus" "fuzz/corpus/$target" \
    >"$work/fuzz.log" 2>&1 || {
      tail -n 80 "$work/fuzz.log"
      ls -l "$work/artifacts"
      fail "fuzz_$target found a failure; reproduce with: build-fuzz/fuzz/fuzz_$target $work/artifacts/<file>"
    }
  grep -E '^stat::(number_of_executed_units|new_units_added|peak_rss_mb)' "$work/fuzz.log" |
    sed 's/^/  /'
done
end_stage

# --- arm64: cross build and the whole suite under qemu-user ------------------
begin_stage arm64 "aarch64 cross build, every test under qemu-user"
toolchain=$root/cmake/aarch64-linux-gnu.toolchain.cmake
gtest_prefix=$root/build-arm64/googletest-install
mkdir -p build-arm64
if [ ! -f "$gtest_prefix/lib/libgtest.a" ]; then
  echo "arm64: building GoogleTest from /usr/src/googletest"
  cmake -S /usr/src/googletest -B build-arm64/googletest -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$gtest_prefix" \
    >build-arm64/googletest.configure.log 2>&1 ||
    { cat build-arm64/googletest.configure.log; fail "configuring GoogleTest for arm64 failed"; }
  cmake --build build-arm64/googletest -j"$jobs" >/dev/null
  cmake --install build-arm64/googletest >/dev/null
fi
configure_and_build build-arm64/kestrel -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_PREFIX_PATH="$gtest_prefix"
readelf -h build-arm64/kestrel/liborrin_kestrel.so | grep -q 'Machine: *AArch64' ||
  fail "the cross build did not produce an arm64 library"
# preset_examples_up_to_date runs the Python preset generator on the build
# machine to compare its output with the committed presets: no arm64 code is
# involved, and CMake would start the (x86-64) interpreter under qemu.
ctest --test-dir build-arm64/kestrel --output-on-failure -j"$jobs" \
  -E '^preset_examples_up_to_date$'
end_stage

# --- benchmark smoke run --------------------------------------------------------
# Only checks that every benchmark runs; the numbers come from scripts/bench.sh.
begin_stage bench "benchmark smoke run"
bench_log=build/bench-smoke.log
build/bench/kestrel_bench --benchmark_min_time=0.01 --kestrel_churn_frames=2000 \
  >"$bench_log" 2>&1 || { cat "$bench_log"; fail "the benchmarks failed"; }
cat "$bench_log"
if grep -q 'ERROR OCCURRED' "$bench_log"; then
  fail "a benchmark reported an error"
fi
end_stage
