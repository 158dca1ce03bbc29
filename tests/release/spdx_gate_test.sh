#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# scripts/spdx.sh on a small repository: check names each file that lacks
# the licence line (and a kind of file it does not know), add puts the line
# where each kind needs it and changes nothing else, and check then passes.
#
#   spdx_gate_test.sh SPDX_SCRIPT
set -euo pipefail
spdx=$(readlink -f "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
git init -q .
failures=0
fail() { echo "FAIL $*"; failures=$((failures + 1)); }

mkdir -p src tests/data scripts page
printf 'int f();\n' >src/f.h
printf '// SPDX-License-Identifier: Apache-2.0\nint f() { return 1; }\n' >src/f.cpp
printf '#!/usr/bin/env bash\necho hi\n' >scripts/run.sh
chmod +x scripts/run.sh
printf 'print(1)\n' >scripts/tool.py
printf '<!DOCTYPE html>\n<html></html>\n' >page/page.html
printf 'export const x = 1;' >page/page.mjs          # no final newline
printf '{ global: f; local: *; };\n' >src/exports.map
printf 'add_library(f src/f.cpp)\n' >CMakeLists.txt
printf '{"a": 1}\n' >tests/data/x.json
printf 'binary\n' >tests/data/blob
printf 'notes\n' >README.md
printf 'x\n' >src/odd.xyz
git add -A

expected_check='spdx: CMakeLists.txt: line 1 is not "# SPDX-License-Identifier: Apache-2.0"
spdx: page/page.html: line 2 is not "<!-- SPDX-License-Identifier: Apache-2.0 -->"
spdx: page/page.mjs: line 1 is not "// SPDX-License-Identifier: Apache-2.0"
spdx: scripts/run.sh: line 2 is not "# SPDX-License-Identifier: Apache-2.0"
spdx: scripts/tool.py: line 1 is not "# SPDX-License-Identifier: Apache-2.0"
spdx: src/exports.map: line 1 is not "/* SPDX-License-Identifier: Apache-2.0 */"
spdx: src/f.h: line 1 is not "// SPDX-License-Identifier: Apache-2.0"
spdx: src/odd.xyz: no comment syntax is known for this kind of file'
got=$(bash "$spdx" check .) && status=0 || status=$?
[ "$status" -eq 1 ] || fail "check exited $status on files without the line"
[ "$got" = "$expected_check" ] || fail "check said:
$got"

git rm -q --cached src/odd.xyz && rm src/odd.xyz
bash "$spdx" add . >/dev/null || fail "add exited non-zero"
expect_file() {  # FILE CONTENT: the file's bytes after add
  [ "$(cat "$1"; echo .)" = "$2." ] || fail "$1 after add is: $(cat -A "$1")"
}
expect_file scripts/run.sh $'#!/usr/bin/env bash\n# SPDX-License-Identifier: Apache-2.0\necho hi\n'
expect_file page/page.html $'<!DOCTYPE html>\n<!-- SPDX-License-Identifier: Apache-2.0 -->\n<html></html>\n'
expect_file page/page.mjs $'// SPDX-License-Identifier: Apache-2.0\nexport const x = 1;'
expect_file src/exports.map $'/* SPDX-License-Identifier: Apache-2.0 */\n{ global: f; local: *; };\n'
expect_file src/f.cpp $'// SPDX-License-Identifier: Apache-2.0\nint f() { return 1; }\n'
expect_file tests/data/x.json $'{"a": 1}\n'
expect_file README.md $'notes\n'
[ -x scripts/run.sh ] || fail "add dropped the executable bit of scripts/run.sh"
got=$(bash "$spdx" check .) || fail "check after add: $got"
[ "$got" = 'spdx: all 8 source and build files carry "SPDX-License-Identifier: Apache-2.0"' ] ||
  fail "check after add said: $got"
# A second add changes nothing.
before=$(git diff | sha256sum)
bash "$spdx" add . >/dev/null
[ "$(git diff | sha256sum)" = "$before" ] || fail "a second add changed files"

# The line elsewhere than at the top does not count.
printf 'int g();\n// SPDX-License-Identifier: Apache-2.0\n' >src/g.h
git add src/g.h
got=$(bash "$spdx" check .) && fail "check passed a file with the line on line 2" || true
[ "$got" = 'spdx: src/g.h: line 1 is not "// SPDX-License-Identifier: Apache-2.0"' ] ||
  fail "check on a line-2 licence said: $got"

[ "$failures" -eq 0 ] || { echo "$failures failure(s)"; exit 1; }
echo "spdx: check stops files without the line; add puts it in place"
