#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""The data of `kestrel report` against its written schema (docs/report-schema.json):
what `--format json` writes and what a page embeds, for a real clip, a clip
with a planted jump, a clip whose every frame is rejected and a stream.
Beyond the shapes the schema checks, the references between its parts:
equal columns, records and analyses that match, flagged frames that exist.

    check_report_schema.py KESTREL_TOOL SOURCE_DIR HDR10PLUS_DIR WORK_DIR

Exit 77 (skipped) without python3-jsonschema (scripts/setup.sh installs it).
"""
import json
import os
import subprocess
import sys

try:
    import jsonschema
except ImportError:
    print("skipped: python3-jsonschema is not installed (scripts/setup.sh installs it)")
    sys.exit(77)

tool, source, shared, work = sys.argv[1:5]
os.makedirs(work, exist_ok=True)
with open(os.path.join(source, "docs", "report-schema.json"), encoding="utf-8") as f:
    schema = json.load(f)
jsonschema.Draft202012Validator.check_schema(schema)
validator = jsonschema.Draft202012Validator(schema)

rejected = os.path.join(work, "rejected.json")
with open(rejected, "w", encoding="utf-8") as f:
    f.write('{"SceneInfo": [{"TargetedSystemDisplayMaximumLuminance": 0,'
            ' "LuminanceParameters": {"MaxScl": [5000, 4000, -1]}}]}\n')
inputs = [
    (os.path.join(source, "examples", "metadata", "regular_metadata.json"), "400,600,1000"),
    (os.path.join(source, "tests", "tool", "data", "planted_jump.json"), "600"),
    (os.path.join(shared, "verification-clips.json"), "1000"),
    (os.path.join(shared, "streams", "ToS-s01.h265"), "600,1000"),
    (rejected, "600"),
]
PAGE_KEYS = {"curve_grid_nits", "curve_grid_pq_codes", "pq_codes_of_decades"}
failures = []


def fail(where, text):
    failures.append(f"{where}: {text}")


def check(doc, where, page):
    for error in validator.iter_errors(doc):
        fail(where, f"{'/'.join(map(str, error.absolute_path))}: {error.message}")
    if failures:
        return
    if PAGE_KEYS.issubset(doc) != page or any(PAGE_KEYS & doc.keys()) != page:
        fail(where, "the page's keys are " + ("missing" if page else "present"))
    frames, records = doc["frames"], doc["records"]
    n = len(frames["frame"])
    if n != doc["frames_with_metadata"] or {len(frames["scene"]), len(frames["record"])} != {n}:
        fail(where, "frame columns of different lengths")
    if frames["frame"] != sorted(set(frames["frame"])):
        fail(where, "frames not ascending")
    if any(r >= len(records) for r in frames["record"]):
        fail(where, "a frame points past the records")
    counts = [0] * len(records)
    for r in frames["record"]:
        counts[r] += 1
    if counts != [r["frame_count"] for r in records]:
        fail(where, "records' frame counts do not match the frames")
    grid = len(doc.get("curve_grid_nits", []))
    for t in doc["targets"]:
        if len(t["analyses"]) != len(records):
            fail(where, f"target {t['target_nits']}: {len(t['analyses'])} analyses for {len(records)} records")
        for name in ("flagged", "glitches"):
            if len({len(column) for column in t[name].values()}) != 1:
                fail(where, f"target {t['target_nits']}: {name} columns of different lengths")
        if set(t["flagged"]["frame"]) - set(frames["frame"]):
            fail(where, "a flagged frame that is not a frame")
        flagged = set(t["flagged"]["frame"])
        for first, last in zip(t["glitches"]["first_frame"], t["glitches"]["last_frame"]):
            flagged.update(range(first, last + 1))
        if len(flagged) != t["flagged_frame_count"]:
            fail(where, "flagged_frame_count is not the number of flagged frames")
        for a in t["analyses"]:
            if ("curves" in a) != page:
                fail(where, "curves " + ("missing" if page else "present"))
            elif page and len(a["curves"]["adapted_nits"]) != grid:
                fail(where, "an adapted curve off the grid")
        if page and n and len(t["curve_summary"]["median_nits"]) != grid:
            fail(where, "a curve summary off the grid")
    video = doc.get("video")
    if video:
        if video["pictures"] != doc["frame_count"]:
            fail(where, "a video's pictures are not its frames")
        measured = video["measured"]
        if {len(measured[k]) for k in measured if k != "range_nits"} != {video["pictures"]}:
            fail(where, "measured columns of another length than the pictures")
        if doc["scene_source"] == "picture cuts" and doc["scene_first_frames"] != video["shot_first_frames"]:
            fail(where, "scenes from the picture cuts that are not the shots")
        if any(k in video for k in ("pictured", "shown_width", "picture_bytes", "picture_budget_bytes")) != page:
            fail(where, "pictures " + ("missing" if page else "present"))
        if page:
            p = video["pictured"]
            if len({len(p[k]) for k in p}) != 1 or any(len(p[k][i]) != len(doc["targets"]) for k in ("table", "curve", "refused") for i in range(len(p["frame"]))):
                fail(where, "pictured columns of different lengths, or not one per target")
            if p["frame"] != sorted(set(p["frame"])) or set(p["frame"]) - set(frames["frame"]):
                fail(where, "pictured frames not ascending, or not frames")
            text = sum(len(u) for k in ("table", "curve") for row in p[k] for u in row) + sum(map(len, p["thumbnail"]))
            if text != video["picture_bytes"] or text > video["picture_budget_bytes"]:
                fail(where, f"pictures of {text} bytes against {video['picture_bytes']} stated and a bound of {video['picture_budget_bytes']}")


def page_data(html):
    opening = '<script type="application/json" id="kestrel-data">'
    start = html.index(opening) + len(opening)
    return json.loads(html[start:html.index("</script>", start)])


for path, targets in inputs:
    name = os.path.basename(path)
    run = subprocess.run([tool, "report", path, "--target-nits", targets, "--format", "json"],
                         capture_output=True, text=True)
    if run.returncode not in (0, 1):
        fail(name, f"report --format json exited {run.returncode}: {run.stderr}")
        continue
    check(json.loads(run.stdout), name + " (json)", page=False)
    out = os.path.join(work, name + ".html")
    subprocess.run([tool, "report", path, "--target-nits", targets, "-o", out], capture_output=True)
    with open(out, encoding="utf-8") as f:
        check(page_data(f.read()), name + " (page)", page=True)

for line in failures:
    print(line)
print(f"{len(inputs) * 2} documents checked, {len(failures)} problems")
sys.exit(1 if failures else 0)
