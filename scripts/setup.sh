#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Installs what building and testing Kestrel needs, from Debian's packages.
# Safe to run again: only missing packages are installed, and a machine that
# has everything costs a few dpkg queries.
#
#   bash scripts/setup.sh          what the build, the tests and the tool need
#   bash scripts/setup.sh --full   also the sanitizer, fuzzing and arm64 tools
#                                  that the full test run (scripts/test.sh) uses
set -euo pipefail

full=0
lean_packages=()
case "${1:-}" in
  "") ;;
  --full) full=1 ;;
  *) echo "usage: $0 [--full]" >&2; exit 2 ;;
esac

packages=(
  build-essential cmake pkg-config
  libjsoncpp-dev          # the library's one dependency
  rapidjson-dev           # header-only: HDR10+ JSON entries found without a whole tree
  libgtest-dev libgmock-dev googletest
  libbenchmark-dev
  libcli11-dev libcairo2-dev   # the kestrel tool
  chromium                     # the browser the report page is tested in
  python3-jsonschema           # the report data checked against docs/report-schema.json
  # Container files (Matroska, MP4) for the tool, and the decoder the
  # stream tests check our reading against.
  libavformat-dev libavcodec-dev libavutil-dev
  # Decoded pictures: 16-bit PNG stills, and the independent Y'CbCr to RGB
  # conversion the tests check ours against.
  libpng-dev libzimg-dev
  dpkg-dev file           # the Debian package: cpack runs dpkg-shlibdeps and file
)
# Node.js and npm run the page's browser test (playwright-core from npm,
# pointed at Debian's chromium). A machine that has its own Node.js, which
# brings npm, keeps it.
command -v node >/dev/null || packages+=(nodejs)
command -v npm >/dev/null || packages+=(npm)
if [ "$full" -eq 1 ]; then
  packages+=(
    # libFuzzer and the sanitizer runtimes for clang; llvm brings
    # llvm-symbolizer, which turns sanitizer reports into file:line.
    clang libclang-rt-14-dev llvm
    # The arm64 cross build and its test run under user-mode emulation: the
    # tests run on Debian's arm64 runtime (libc6, libstdc++6 and jsoncpp of
    # the arm64 architecture). GoogleTest for arm64 is compiled from
    # googletest's sources (/usr/src/googletest) by scripts/test.sh.
    g++-aarch64-linux-gnu qemu-user
    libc6:arm64 libstdc++6:arm64 libjsoncpp-dev:arm64
    # The clang + libc++ build (LLVM's standard library, as on the device);
    # jsoncpp for it is built from Debian's source package (deb-src below).
    libc++-dev libc++abi-dev
  )
  # The package stage's gates: hardening-check on every shipped binary, and
  # Debian's parser of machine-readable copyright files. devscripts'
  # recommendations (mail, network and packaging tools) are not needed.
  lean_packages=(devscripts python3-debian)
fi

SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO=sudo
# Wait for another apt or dpkg run instead of failing on its lock.
APT=(apt-get -o DPkg::Lock::Timeout=600)

need_update=0
if [ "$full" -eq 1 ] && ! dpkg --print-foreign-architectures | grep -qx arm64; then
  echo "setup: adding the arm64 architecture for the cross build's libraries"
  $SUDO dpkg --add-architecture arm64
  need_update=1
fi

# The source packages of the running release (apt-get source), for libraries
# rebuilt against libc++: a deb-src entry beside the first binary entry of
# the release itself, same mirror, same suite, same keys.
deb_src_list=/etc/apt/sources.list.d/kestrel-deb-src.sources
if [ "$full" -eq 1 ]; then
  codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
  if ! apt-get indextargets --format '$(CREATED_BY) $(RELEASE)' | grep -qx "Sources $codename"; then
    mirror=$(apt-get indextargets --format '$(CREATED_BY) $(RELEASE) $(REPO_URI)' |
             awk -v r="$codename" '$1 == "Packages" && $2 == r { print $3; exit }')
    [ -n "$mirror" ] || { echo "setup: no binary entry for $codename to add sources beside" >&2; exit 1; }
    echo "setup: adding the source packages of $codename ($mirror) in $deb_src_list"
    keyring=/usr/share/keyrings/debian-archive-keyring.gpg
    {
      echo "Types: deb-src"
      echo "URIs: $mirror"
      echo "Suites: $codename"
      echo "Components: main"
      [ -f "$keyring" ] && echo "Signed-By: $keyring"
    } | $SUDO tee "$deb_src_list" >/dev/null
    need_update=1
  fi
fi

missing=()
lean_missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
for p in "${lean_packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || lean_missing+=("$p")
done
if [ $((${#missing[@]} + ${#lean_missing[@]})) -gt 0 ]; then
  need_update=1
fi
if [ "$need_update" -eq 1 ]; then
  $SUDO "${APT[@]}" update -qq
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  $SUDO env DEBIAN_FRONTEND=noninteractive "${APT[@]}" install -y -qq "${missing[@]}" >/dev/null
fi
if [ ${#lean_missing[@]} -gt 0 ]; then
  echo "setup: installing ${lean_missing[*]} (without recommendations)"
  $SUDO env DEBIAN_FRONTEND=noninteractive "${APT[@]}" install -y -qq --no-install-recommends \
    "${lean_missing[@]}" >/dev/null
fi
