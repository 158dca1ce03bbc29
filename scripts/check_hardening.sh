#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Fails on a binary built without the hardening Kestrel ships with
# (cmake/hardening.cmake): stack protector, fortified libc calls, read-only
# relocations, immediate binding, and PIE for programs.
#
#   bash scripts/check_hardening.sh FILE...
#
# Each FILE goes through hardening-check (devscripts), which reads the ELF
# itself: PIE from its type and flags (a shared library passes that check as
# "ignored"), the canary from __stack_chk_fail, fortification from the
# __*_chk variants of the libc functions it calls (a binary that calls only
# unchecked ones fails; one that calls none passes), RELRO and BIND_NOW from
# the program headers and dynamic section. Control-flow protection is not
# among the flags Debian 12's dpkg-buildflags gives, so it is not required.
# Prints one line per missing protection:
#
#   check_hardening: FILE: Immediate binding: no, not found!
#
# and exits 1 if there is any, 2 when hardening-check is not installed.
set -euo pipefail
[ $# -gt 0 ] || { echo "usage: $0 FILE..." >&2; exit 2; }
command -v hardening-check >/dev/null ||
  { echo "check_hardening: hardening-check is not installed (devscripts; bash scripts/setup.sh --full)" >&2; exit 2; }

status=0
for file in "$@"; do
  [ -f "$file" ] || { echo "check_hardening: $file: no such file"; status=1; continue; }
  if report=$(hardening-check --nocfprotection "$file" 2>&1); then
    continue
  fi
  status=1
  missing=$(printf '%s\n' "$report" | sed -n '/(ignored)$/d; s/^ \([^:]*\): no\([,!].*\|\)$/\1: no\2/p')
  if [ -z "$missing" ]; then   # failed without naming a protection
    printf 'check_hardening: %s: %s\n' "$file" "$report"
  else
    printf '%s\n' "$missing" | sed "s|^|check_hardening: $file: |"
  fi
done
exit "$status"
