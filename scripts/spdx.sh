#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The licence line at the top of every source and build file of the project:
#
#   bash scripts/spdx.sh check [ROOT]   lists each file that lacks it; exit 1 if any
#   bash scripts/spdx.sh add [ROOT]     puts it into each file that lacks it
#
# The files are git's tracked files under ROOT (default: this repository).
# Each kind of file gets the line in its own comment syntax, as its first
# line, or as its second after a "#!" interpreter line or an HTML doctype
# (which must stay first). Data, documentation and third-party files carry
# none (their licences are in cmake/debian-copyright); a tracked file of a
# kind named nowhere below fails the check, so that a new kind of file is
# decided on rather than passed over.
set -euo pipefail

tag="SPDX-License-Identifier: Apache-2.0"

usage() { echo "usage: $0 check|add [ROOT]" >&2; exit 2; }
[ $# -ge 1 ] && [ $# -le 2 ] || usage
mode=$1
case "$mode" in check|add) ;; *) usage ;; esac
root=${2:-$(dirname "$0")/..}
cd "$root"

# The licence line for FILE, "-" for a file that carries none, "" for a kind
# of file not decided on.
line_for() {
  case "$1" in
    examples/* | fuzz/corpus/* | */data/*) echo - ;;     # data, some third-party
    LICENSE | */LICENSE-* | cmake/debian-copyright) echo - ;;
    *.md | *.json | *.png) echo - ;;
    *.cpp | *.h | *.h.in | *.mjs | *.js) echo "// $tag" ;;
    *.map) echo "/* $tag */" ;;                         # linker version scripts
    *.html) echo "<!-- $tag -->" ;;
    CMakeLists.txt | */CMakeLists.txt | *.cmake | *.cmake.in | *.pc.in) echo "# $tag" ;;
    *.sh | *.py | *.dict | *.supp | tests/lsan-suppressions.txt) echo "# $tag" ;;
    .gitignore | .clang-format | .ci/*) echo "# $tag" ;;
    *) echo "" ;;
  esac
}

# The line number the licence line belongs on: after an interpreter line or a
# doctype, else first.
position_in() {
  local first
  IFS= read -r first <"$1" || true
  case "$first" in
    '#!'* | '<!DOCTYPE'* | '<!doctype'*) echo 2 ;;
    *) echo 1 ;;
  esac
}

status=0
count=0
while IFS= read -r -d '' file; do
  [ -f "$file" ] || continue   # deleted in the work tree, not yet committed
  line=$(line_for "$file")
  if [ -z "$line" ]; then
    echo "spdx: $file: no comment syntax is known for this kind of file"
    status=1
    continue
  fi
  [ "$line" = - ] && continue
  count=$((count + 1))
  at=$(position_in "$file")
  if [ "$(sed -n "${at}p" "$file")" = "$line" ]; then
    continue
  fi
  if [ "$mode" = check ]; then
    echo "spdx: $file: line $at is not \"$line\""
    status=1
  elif [ "$at" -eq 1 ] && [ ! -s "$file" ]; then
    printf '%s\n' "$line" >"$file"
  else
    # sed keeps the file's mode; a file without a final newline keeps that.
    if [ "$at" -eq 1 ]; then
      sed -i "1i\\$line" "$file"
    else
      sed -i "1a\\$line" "$file"
    fi
    echo "spdx: added to $file"
  fi
done < <(git ls-files -z)

if [ "$mode" = check ]; then
  if [ "$status" -eq 0 ]; then
    echo "spdx: all $count source and build files carry \"$tag\""
  fi
fi
exit "$status"
