#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The C++ libraries Kestrel links, built with clang against libc++ (LLVM's
# standard library, the device's), for the libcxx stage of scripts/test.sh.
# Mixing two standard libraries in one program fails at link time, so
# Debian's binary jsoncpp and GoogleTest (built for libstdc++) cannot be used:
#
#   jsoncpp     from Debian's own source package of the installed version
#               (apt-get source through the deb-src entry scripts/setup.sh
#               adds; apt checks the .dsc against the release's signed index,
#               and each file the .dsc lists is checked against its SHA-256
#               here before dpkg-source unpacks it with Debian's patches)
#   GoogleTest  from /usr/src/googletest (googletest package), as the arm64
#               stage builds it
#
#   bash scripts/libcxx_deps.sh          prints the install prefix
#
# The result is kept between runs in a cache folder named by everything it
# depends on: the two library versions, the compiler, the libc++ package and
# this script. A changed input gets a new folder; a folder is used only once
# its build finished (it is renamed into place at the end), so an interrupted
# run leaves nothing that a later one would take. KESTREL_LIBCXX_CACHE
# names the cache root (default ~/.cache/kestrel/libcxx).
set -euo pipefail
script=$(readlink -f "$0")

cache_root=${KESTREL_LIBCXX_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/kestrel/libcxx}
# One version, also where the package is installed for several architectures.
version_of() {
  local v
  v=$(dpkg-query -W -f='${Version}\n' "$1" | sort -u)
  [ -n "$v" ] && [ "$(echo "$v" | wc -l)" -eq 1 ] ||
    { echo "libcxx_deps: $1 is not installed in one version: ${v:-none}" >&2; exit 1; }
  echo "$v"
}
jsoncpp_version=$(version_of libjsoncpp-dev)
gtest_version=$(version_of googletest)
libcxx_version=$(version_of libc++-dev)
clang_version=$(clang++ --version | head -n 1)
key=$(printf '%s\n' "$jsoncpp_version" "$gtest_version" "$libcxx_version" "$clang_version" |
      cat - "$script" | sha256sum | cut -c1-16)
prefix=$cache_root/jsoncpp-${jsoncpp_version}_googletest-${gtest_version}_$key
if [ -f "$prefix/.complete" ]; then
  echo "$prefix"
  exit 0
fi

mkdir -p "$cache_root"
work=$(mktemp -d "$cache_root/.build.XXXXXX")
trap 'rm -rf "$work"' EXIT
staging=$work/prefix
log=$work/log
fail() {
  [ -f "$log" ] && tail -n 40 "$log" >&2
  echo "libcxx_deps: $*" >&2
  exit 1
}

flags=(-DCMAKE_BUILD_TYPE=Release -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
       -DCMAKE_CXX_FLAGS=-stdlib=libc++ -DCMAKE_EXE_LINKER_FLAGS=-stdlib=libc++
       -DCMAKE_SHARED_LINKER_FLAGS=-stdlib=libc++ -DCMAKE_INSTALL_PREFIX="$staging"
       -DCMAKE_INSTALL_LIBDIR=lib)

# jsoncpp: the source package of exactly the installed version.
mkdir -p "$work/source"
chmod 755 "$work" "$work/source"   # apt downloads as its own user where it can
(cd "$work/source" && apt-get source --download-only "libjsoncpp=$jsoncpp_version") >"$log" 2>&1 ||
  fail "apt-get source libjsoncpp=$jsoncpp_version failed (is the deb-src entry there? bash scripts/setup.sh --full)"
dsc=$work/source/libjsoncpp_${jsoncpp_version#*:}.dsc
[ -f "$dsc" ] || fail "no ${dsc##*/} after apt-get source"
# Every file the .dsc lists, against the SHA-256 it gives.
sums=$(sed -n '/^Checksums-Sha256:/,/^[^ ]/{/^ /p}' "$dsc" | awk '{ print $1 "  " $3 }')
[ -n "$sums" ] || fail "${dsc##*/} lists no SHA-256 checksums"
(cd "$work/source" && echo "$sums" | sha256sum --check --strict) >>"$log" 2>&1 ||
  fail "the files of ${dsc##*/} do not match its checksums"
dpkg-source --no-check -x "$dsc" "$work/source/jsoncpp" >>"$log" 2>&1 ||
  fail "dpkg-source could not unpack ${dsc##*/}"
cmake -S "$work/source/jsoncpp" -B "$work/jsoncpp-build" "${flags[@]}" \
  -DJSONCPP_WITH_TESTS=OFF -DJSONCPP_WITH_POST_BUILD_UNITTEST=OFF -DJSONCPP_WITH_PKGCONFIG_SUPPORT=OFF \
  -DBUILD_SHARED_LIBS=ON -DBUILD_STATIC_LIBS=OFF -DBUILD_OBJECT_LIBS=OFF >>"$log" 2>&1 &&
  cmake --build "$work/jsoncpp-build" -j"$(nproc)" >>"$log" 2>&1 &&
  cmake --install "$work/jsoncpp-build" >>"$log" 2>&1 ||
  fail "building jsoncpp $jsoncpp_version against libc++ failed"

# GoogleTest (with GoogleMock) from the installed sources.
cmake -S /usr/src/googletest -B "$work/googletest-build" "${flags[@]}" >>"$log" 2>&1 &&
  cmake --build "$work/googletest-build" -j"$(nproc)" >>"$log" 2>&1 &&
  cmake --install "$work/googletest-build" >>"$log" 2>&1 ||
  fail "building GoogleTest $gtest_version against libc++ failed"

# Proof that both were built for libc++: their libraries name its runtime.
# (Whole listings are read: grep -q would stop reading early, and the
# writer's broken pipe would fail the pipeline.)
readelf -d "$staging/lib/libjsoncpp.so" >"$work/jsoncpp.dynamic"
grep -q 'NEEDED.*\[libc++\.so' "$work/jsoncpp.dynamic" ||
  fail "the jsoncpp built does not link libc++"
nm -C "$staging/lib/libgtest.a" >"$work/gtest.symbols" 2>/dev/null
grep -q 'std::__1::' "$work/gtest.symbols" ||
  fail "the GoogleTest built does not use libc++"

touch "$staging/.complete"
rm -rf "$prefix"
mv "$staging" "$prefix"
echo "$prefix"
