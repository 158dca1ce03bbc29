#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Runs every command of the kestrel tool over every sample input (the real
# HDR10+ JSON and streams in ../shared/hdr10plus and everything in
# examples/) and keeps, per case, standard output, standard error, the exit
# status and every file the command wrote. A refactoring must leave all of
# it byte-identical.
#
#   scripts/compare_outputs.sh record  BUILD_DIR OUT_DIR   the baseline
#   scripts/compare_outputs.sh compare BUILD_DIR OUT_DIR   exit 1 on any difference
#
# BUILD_DIR holds the built `kestrel` (and the plug-in beside it). The inputs
# are reached through links in a scratch folder, so that the paths the tool
# prints are the same whichever checkout it runs from. `record` runs every
# case twice and refuses to record when a case differs between the two runs
# other than in the columns masked below (the time a frame took).
# KESTREL_HDR10PLUS_DIR overrides where the shared samples are.
set -euo pipefail

mode=${1:-}
build=${2:-}
out=${3:-}
if [[ "$mode" != record && "$mode" != compare || -z "$build" || -z "$out" ]]; then
  echo "usage: $0 record|compare BUILD_DIR OUT_DIR" >&2
  exit 2
fi
repo=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$build" && pwd)
tool="$build/kestrel"
shared=${KESTREL_HDR10PLUS_DIR:-$repo/../shared/hdr10plus}
[[ -x "$tool" ]] || { echo "$0: no kestrel in $build" >&2; exit 2; }
[[ -d "$shared/streams" ]] || { echo "$0: no samples in $shared" >&2; exit 2; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/in"
ln -s "$shared" "$scratch/in/shared"
ln -s "$repo/examples" "$scratch/in/examples"
ln -s "$tool" "$scratch/in/kestrel"

# Two things change from run to run and are masked: the time each frame
# took in `lut --all-frames` (the `microseconds` column of the CSV, the
# table and the JSON) and the addresses the library prints in its own lines
# (they move with address-space randomisation).
mask() {
  sed -E -e 's/("microseconds" : )[0-9.e+-]+/\1#/' \
         -e 's/^([0-9]+,([^,]*,){7})[0-9.e+-]+,/\1#,/' \
         -e 's/0x[0-9a-f]{9,16}\b/0x#/g' "$1" |
  # The table's column is right-aligned under its heading.
  awk '{
    if (end == 0 && match($0, / microseconds /)) end = RSTART + 12
    else if (end > 0 && length($0) >= end && substr($0, end, 1) ~ /[0-9]/) {
      start = end
      while (start > 1 && substr($0, start - 1, 1) != " ") start--
      pad = ""
      for (i = start; i < end; i++) pad = pad " "
      $0 = substr($0, 1, start - 1) pad "#" substr($0, end + 1)
    }
    print
  }'
}

# One case: a name and the command line (run from the inputs' folder, with
# its files written to the case's own folder, passed as @OUT@).
declare -a names=() commands=()
add() { names+=("$1"); commands+=("$2"); }

json_inputs=(shared/single-frame-metadata.json shared/metadata-dhdr10-opt.json
             shared/regular_metadata.json shared/verification-clips.json
             examples/metadata/regular_metadata.json examples/metadata/single-frame-metadata.json)
stream_inputs=()
for f in "$shared"/streams/*; do stream_inputs+=("shared/streams/$(basename "$f")"); done

for input in "${json_inputs[@]}" "${stream_inputs[@]}"; do
  key=${input//\//_}
  add "metadata_$key" "metadata $input"
  add "metadata-o_$key" "metadata $input -o @OUT@/meta.json"
  add "lut_$key" "lut $input"
  add "lut-frame1_$key" "lut $input --frame 1 --target-nits 400,600,1000 --layer-nits 4000"
  add "lut-json_$key" "lut $input --format json --target-nits 300,1000"
  add "lut-csv_$key" "lut $input --format csv --target-nits 150"
  add "lut-all_$key" "lut $input --all-frames"
  add "lut-all-json_$key" "lut $input --all-frames --format json --target-nits 400,1000 --max-error 0.001"
  add "lut-all-table_$key" "lut $input --all-frames --format table --strict"
  add "report_$key" "report $input --target-nits 400,600,1000 -o @OUT@/report.html"
  add "report-json_$key" "report $input --format json --jump-threshold 2 --fail-on-jumps"
done
# Plots are slower; one JSON file, one stream, one container.
for input in shared/regular_metadata.json shared/verification-clips.json \
             shared/streams/dhdr10-opt.hevc shared/streams/regular.mkv; do
  key=${input//\//_}
  add "lut-plot-png_$key" "lut $input --target-nits 400,600,1000 --plot @OUT@/curves.png"
  add "lut-plot-svg-pq_$key" "lut $input --plot @OUT@/curves.svg --axes pq"
  add "lut-all-plot_$key" "lut $input --all-frames --plot @OUT@/levels.svg --levels 1,10,100"
  add "lut-all-plot-png_$key" "lut $input --all-frames --plot @OUT@/levels.png"
done

for preset in examples/presets/*.json; do
  key=${preset//\//_}
  add "preset_$key" "preset check $preset"
  add "preset-strict-plot_$key" "preset check $preset --strict --plot @OUT@/preset.png"
  add "preset-svg_$key" "preset check $preset --plot @OUT@/preset.svg"
done
add "frame_demo" "frame examples/frames/demo.json"
add "frame_demo_quiet_block" "frame examples/frames/demo.json --quiet --block-out @OUT@/block-{frame}.bin --require-block"
add "frame_demo_diag" "frame examples/frames/demo.json --diag-out @OUT@/diag.txt"
add "frame_demo_preset" "frame examples/frames/demo.json --preset examples/presets/example_preset.json --block-out @OUT@/block.bin"
add "frame_demo_minimal_preset" "frame examples/frames/demo.json --preset examples/presets/minimal_preset.json --quiet"

# The command line itself: help, usage errors, missing and wrong inputs.
add "help" "--help"
add "none" ""
for c in frame lut report metadata "preset" "preset check"; do add "help_${c// /_}" "$c --help"; done
add "unknown_command" "bogus"
add "unknown_option" "lut shared/regular_metadata.json --bogus"
add "lut_missing_file" "lut no-such-file.json"
add "lut_dir" "lut shared"
add "lut_not_json" "lut examples/presets/README.md"
add "lut_frame_out_of_range" "lut shared/regular_metadata.json --frame 259"
add "lut_bad_target" "lut shared/regular_metadata.json --target-nits 0"
add "lut_twice_target" "lut shared/regular_metadata.json --target-nits 600,600"
add "lut_bad_layer" "lut shared/regular_metadata.json --layer-nits 10001"
add "lut_bad_levels" "lut shared/regular_metadata.json --levels 1,10"
add "lut_bad_axes" "lut shared/regular_metadata.json --axes pq"
add "lut_bad_max_error" "lut shared/regular_metadata.json --all-frames --max-error -1"
add "lut_frame_and_all" "lut shared/regular_metadata.json --all-frames --frame 2"
add "lut_bad_format" "lut shared/regular_metadata.json --format xml"
add "lut_bad_plot" "lut shared/regular_metadata.json --plot @OUT@/curves.gif"
add "lut_low_targets" "lut shared/verification-clips.json --frame 5 --target-nits 100,199,200,201"
add "lut_diag_out" "lut shared/verification-clips.json --frame 5 --target-nits 100,600 --diag-out @OUT@/diag.txt"
add "lut_all_diag_out" "lut shared/metadata-dhdr10-opt.json --all-frames --target-nits 150 --diag-out @OUT@/diag.txt"
add "report_low_targets" "report shared/verification-clips.json --target-nits 100,199 --format json"
add "report_bad_threshold" "report shared/regular_metadata.json --jump-threshold 0"
add "report_bad_format" "report shared/regular_metadata.json --format csv"
add "report_missing" "report nothing.hevc"
add "metadata_missing" "metadata nothing.hevc"
add "metadata_examples_dir" "metadata examples"
add "frame_missing" "frame nothing.json"
add "frame_bad_script" "frame examples/presets/example_preset.json"
add "preset_missing" "preset check nothing.json"
add "preset_no_preset" "preset check shared/single-frame-metadata.json"
add "preset_check_frame_script" "preset check examples/frames/demo.json --strict"
add "preset_no_sub" "preset"

run_all() {  # into $1
  local dest=$1 i
  for i in "${!names[@]}"; do
    local dir="$dest/${names[$i]}"
    mkdir -p "$dir/files"
    local line=${commands[$i]//@OUT@/$dir/files}
    # shellcheck disable=SC2086
    (cd "$scratch/in" && ./kestrel $line >"$dir/stdout" 2>"$dir/stderr" </dev/null;
     echo $? >"$dir/status") || true
    # The case's own folder and the build's (where the plug-in is) appear in
    # messages; make them the same everywhere.
    for f in "$dir/stdout" "$dir/stderr" "$dir/files"/*; do
      [[ -f "$f" ]] || continue
      if grep -qF -e "$dir/files" -e "$build/" "$f" 2>/dev/null; then
        sed -i -e "s#$dir/files#@OUT@#g" -e "s#$build/#@BUILD@/#g" "$f"
      fi
    done
    for f in "$dir/stdout" "$dir/stderr" "$dir/files"/*; do
      [[ -f "$f" ]] || continue
      case "$f" in *.png|*.bin) continue ;; esac
      mask "$f" >"$f.masked" && mv "$f.masked" "$f"
    done
  done
}

case "$mode" in
  record)
    rm -rf "$out"
    mkdir -p "$out"
    run_all "$out"
    run_all "$scratch/second"
    if ! diff -r "$out" "$scratch/second" >"$scratch/diff"; then
      echo "$0: two runs differ beyond the masked timings; not recorded:" >&2
      diff -rq "$out" "$scratch/second" >&2 || true
      head -40 "$scratch/diff" >&2
      rm -rf "$out"
      exit 1
    fi
    echo "recorded ${#names[@]} cases in $out"
    ;;
  compare)
    [[ -d "$out" ]] || { echo "$0: no baseline in $out" >&2; exit 2; }
    run_all "$scratch/now"
    if diff -r "$out" "$scratch/now" >"$scratch/diff"; then
      echo "all ${#names[@]} cases byte-identical to $out"
    else
      echo "$0: outputs differ from $out:" >&2
      diff -rq "$out" "$scratch/now" >&2 || true
      head -80 "$scratch/diff" >&2
      exit 1
    fi
    ;;
esac
