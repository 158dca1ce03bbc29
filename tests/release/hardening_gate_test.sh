#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# scripts/check_hardening.sh against binaries that each lack one protection:
# every one must fail with the line naming what it lacks, and the binary
# with all of them must pass.
#
#   hardening_gate_test.sh CXX CHECK_SCRIPT
set -euo pipefail
cxx=$1
check=$2
command -v hardening-check >/dev/null || { echo "hardening-check not installed: skipped"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A local array (for the canary) and a copy of a length the compiler cannot
# know into it (strcpy becomes __strcpy_chk when fortified). Never run.
cat >"$work/probe.cpp" <<'CPP'
#include <cstdio>
#include <cstring>
int probe(int argc, char** argv) {
    char name[16] = {};
    std::strcpy(name, argv[0]);
    std::puts(name);
    return argc;
}
#ifndef LIBRARY
int main(int argc, char** argv) { return probe(argc, argv) == 0; }
#endif
CPP

full=(-O2 -fstack-protector-strong -D_FORTIFY_SOURCE=2 -Wl,-z,relro -Wl,-z,now)
failures=0

# build NAME FLAGS...: the probe program (PIE unless the flags say otherwise)
build() {
  local name=$1
  shift
  "$cxx" -fPIE -pie "$@" "$work/probe.cpp" -o "$work/$name"
}

# expect NAME EXPECTED-OUTPUT: the gate's output on the binary, exactly.
expect() {
  local name=$1 expected=$2 got status=0
  got=$(cd "$work" && bash "$check" "$name") || status=$?
  if [ "$got" != "$expected" ]; then
    printf 'FAIL %s: the gate said\n%s\nexpected\n%s\n' "$name" "$got" "$expected"
    failures=$((failures + 1))
  elif [ -n "$expected" ] && [ "$status" -ne 1 ]; then
    echo "FAIL $name: the gate printed the right line but exited $status, not 1"
    failures=$((failures + 1))
  elif [ -z "$expected" ] && [ "$status" -ne 0 ]; then
    echo "FAIL $name: the gate exited $status on a hardened binary"
    failures=$((failures + 1))
  else
    echo "ok   $name"
  fi
}

build hardened "${full[@]}"
expect hardened ""

# Later flags override earlier ones, so each of these is the full set with
# one protection taken back.
build no_canary "${full[@]}" -fno-stack-protector
expect no_canary "check_hardening: no_canary: Stack protected: no, not found!"

build no_fortify "${full[@]}" -U_FORTIFY_SOURCE
expect no_fortify "check_hardening: no_fortify: Fortify Source functions: no, only unprotected functions found!"

build no_relro "${full[@]}" -Wl,-z,norelro
expect no_relro "check_hardening: no_relro: Read-only relocations: no, not found!"

build lazy_binding "${full[@]}" -Wl,-z,lazy
expect lazy_binding "check_hardening: lazy_binding: Immediate binding: no, not found!"

build not_pie "${full[@]}" -fno-PIE -no-pie
expect not_pie "check_hardening: not_pie: Position Independent Executable: no, normal executable!"

# A shared library is not a PIE and need not be one; it still needs the rest.
"$cxx" -shared -fPIC -DLIBRARY "${full[@]}" "$work/probe.cpp" -o "$work/libhardened.so"
expect libhardened.so ""
"$cxx" -shared -fPIC -DLIBRARY "${full[@]}" -Wl,-z,lazy "$work/probe.cpp" -o "$work/liblazy.so"
expect liblazy.so "check_hardening: liblazy.so: Immediate binding: no, not found!"

# Two binaries at once: the failure is named, the good one passes silently.
got=$(cd "$work" && bash "$check" hardened lazy_binding) && status=0 || status=$?
if [ "$got" != "check_hardening: lazy_binding: Immediate binding: no, not found!" ] || [ "$status" -ne 1 ]; then
  echo "FAIL two binaries: status $status, output: $got"
  failures=$((failures + 1))
fi

[ "$failures" -eq 0 ] || { echo "$failures case(s) failed"; exit 1; }
echo "the hardening gate stops each binary that lacks a protection"
