#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The report page in a real browser: writes pages with the built tool, then
# drives Debian's Chromium through playwright-core (installed from the lock
# file into the build folder; no browser is downloaded) and checks what the
# pages show. Exit 77 (skipped) when chromium, node or npm is missing.
#
#   run_browser_test.sh KESTREL_TOOL WORK_DIR SOURCE_DIR [HDR10PLUS_DIR]
set -euo pipefail
tool=$1 work=$2 source=$3 shared=${4:-}
here=$source/tests/report

for command in chromium node npm; do
  if ! command -v "$command" >/dev/null; then
    echo "skipped: $command is not installed (scripts/setup.sh installs it)"
    exit 77
  fi
done

mkdir -p "$work"
# Installed again only when the lock file changes.
if ! cmp -s "$here/package-lock.json" "$work/package-lock.json" || [ ! -d "$work/node_modules" ]; then
  cp "$here/package.json" "$here/package-lock.json" "$work/"
  (cd "$work" && npm ci --no-audit --no-fund --loglevel=error)
fi

regular=$source/examples/metadata/regular_metadata.json
planted=$source/tests/tool/data/planted_jump.json
"$tool" report "$regular" --target-nits 400,600,1000 -o "$work/regular.html"
"$tool" report "$planted" --target-nits 400,600,1000 -o "$work/planted.html"
# A clip whose only frame is rejected (MaxScl cannot be negative): the page is
# still written, and the report exits 1 for it.
printf '%s\n' '{"SceneInfo": [{"TargetedSystemDisplayMaximumLuminance": 0,
  "LuminanceParameters": {"MaxScl": [5000, 4000, -1]}}]}' >"$work/rejected.json"
"$tool" report "$work/rejected.json" --target-nits 600 -o "$work/rejected.html" 2>/dev/null || true
# A film of reduced length, built from the real frames (scripts/make_film.py).
film=
if command -v python3 >/dev/null &&
   python3 "$source/scripts/make_film.py" "$work/film.json" --frames 20000 2>/dev/null; then
  "$tool" report "$work/film.json" --target-nits 400,600,1000 -o "$work/film.html" 2>/dev/null
  film=1
fi
# A real video's page, with two of its six frames shown as pictures (0 and
# 3), so that choosing the others shows the nearest one.
video=
if [ -n "$shared" ] && [ -f "$shared/streams/ToS-s01.h265" ]; then
  "$tool" report "$shared/streams/ToS-s01.h265" --target-nits 400,1000 --pictures 2 \
    -o "$work/video.html" 2>/dev/null
  # Its metadata states no source peak: frames with warnings, amber badges.
  "$tool" report "$shared/streams/ToS-s09.h265" --target-nits 600 --pictures 0 \
    -o "$work/video-warned.html" 2>/dev/null
  video=1
fi
for frame in 0 3 100; do
  "$tool" lut "$regular" --frame "$frame" --target-nits 600 --format json >"$work/lut-$frame.json"
done

cd "$work"
KESTREL_REPORT_WORK=$work KESTREL_FILM=$film KESTREL_VIDEO=$video KESTREL_CHROMIUM=$(command -v chromium) \
  node --test "$here/report_page.test.mjs"
