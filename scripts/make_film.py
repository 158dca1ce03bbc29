#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Writes a film-length HDR10+ JSON built from real frames, the same for
the same arguments on every machine.

    scripts/make_film.py OUT.json [--frames 172800] [--seed 1]

The records are the distinct frames of the real clips in ../shared/hdr10plus
(KESTREL_HDR10PLUS_DIR overrides where) that carry consistent statistics.
Scenes last from half a second to 21 s (12 to 509 frames, 126 on average,
as a feature film's ~1,300 shots in two hours). Each takes one record,
dimmed to 50 to 100 % of its luminances; about one scene in eight changes
its record part-way through, which `kestrel report` flags as a jump inside
a scene, and about one in 24 flickers between two records. The random
numbers come from a fixed 64-bit linear congruential generator, not from
Python's `random`, so that the film does not depend on the Python version.
"""
import argparse
import json
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
# Per-frame fields that number the frame; the rest is the record.
NUMBERING = ("SceneFrameIndex", "SequenceFrameIndex", "SceneId")


class Lcg:
    """Knuth's MMIX constants; the high bits are the well-mixed ones."""

    def __init__(self, seed):
        self.state = (seed * 0x9E3779B97F4A7C15 + 1) & (2**64 - 1)

    def below(self, n):
        self.state = (self.state * 6364136223846793005 + 1442695040888963407) & (2**64 - 1)
        return (self.state >> 33) % n


def real_records(folder):
    records = {}
    for name in sorted(os.listdir(folder)):
        if not name.endswith(".json"):
            continue
        with open(os.path.join(folder, name), encoding="utf-8") as f:
            doc = json.load(f)
        for frame in doc.get("SceneInfo", []):
            record = {k: v for k, v in frame.items() if k not in NUMBERING}
            # A film's frames carry statistics that agree with themselves;
            # the sample clips' test frames (no 99th percentile, a MaxScl
            # below it) have no source peak or give warnings on every frame.
            stats = record.get("LuminanceParameters", {})
            values = stats.get("LuminanceDistributions", {}).get("DistributionValues", [0])
            if not values or values[-1] <= 0 or stats.get("AverageRGB", 0) <= 0:
                continue
            if max(stats.get("MaxScl", [0])) < values[-1]:
                continue
            records.setdefault(json.dumps(record, sort_keys=True), record)
    # In a fixed order, whatever the order of the files.
    return [records[k] for k in sorted(records)]


def dimmed(record, steps):
    """The record with its luminances (MaxScl, the average, the percentiles)
    scaled by steps/32, rounded down so that their order holds. The second
    distribution entry is a share of pixels, not a luminance, and stays."""
    if steps == 32:
        return record
    out = json.loads(json.dumps(record))
    stats = out.get("LuminanceParameters", {})
    stats["MaxScl"] = [v * steps // 32 for v in stats.get("MaxScl", [])]
    stats["AverageRGB"] = stats.get("AverageRGB", 0) * steps // 32
    values = stats.get("LuminanceDistributions", {}).get("DistributionValues")
    if values:
        for k in range(len(values)):
            if k != 1:
                values[k] = values[k] * steps // 32
    return out


def make_film(records, frames, seed):
    rng = Lcg(seed)
    scene_info, first_frames, lengths = [], [], []
    frame = 0
    while frame < frames:
        length = min(frames - frame, 12 + rng.below(70) + rng.below(70) + (rng.below(360) if rng.below(4) == 0 else 0))
        # Each scene is graded on its own: a real record at 50 to 100 % of its
        # luminances, so that a film has hundreds of distinct records.
        steps = 16 + rng.below(17)
        record = dimmed(records[rng.below(len(records))], steps)
        change_at = 1 + rng.below(length - 1) if length > 1 and rng.below(8) == 0 else None
        second = dimmed(records[rng.below(len(records))], steps)
        # About one scene in 24 flickers: its metadata alternates between two
        # records every 1 to 3 frames, a jump at every change.
        flicker = 1 + rng.below(3) if rng.below(24) == 0 else 0
        scene = len(first_frames)
        first_frames.append(frame)
        lengths.append(length)
        for k in range(length):
            if flicker:
                entry = dict(second if (k // flicker) % 2 else record)
            else:
                entry = dict(second if change_at is not None and k >= change_at else record)
            entry["SceneFrameIndex"] = k
            entry["SceneId"] = scene
            entry["SequenceFrameIndex"] = frame
            scene_info.append(entry)
            frame += 1
    return {
        "JSONInfo": {"HDR10plusProfile": "B", "Version": "1.0"},
        "SceneInfo": scene_info,
        "SceneInfoSummary": {"SceneFirstFrameIndex": first_frames, "SceneFrameNumbers": lengths},
        "ToolInfo": {"Tool": "kestrel scripts/make_film.py", "Version": "seed %d" % seed},
    }


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("out")
    parser.add_argument("--frames", type=int, default=172800)
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()
    folder = os.environ.get("KESTREL_HDR10PLUS_DIR", os.path.join(HERE, "..", "..", "shared", "hdr10plus"))
    records = real_records(folder)
    if not records:
        sys.exit("make_film.py: no real frames in " + folder)
    film = make_film(records, args.frames, args.seed)
    with open(args.out, "w", encoding="utf-8") as f:
        json.dump(film, f, separators=(",", ":"))
        f.write("\n")
    print("make_film.py: wrote %s: %d frames, %d scenes, from %d real records"
          % (args.out, args.frames, len(film["SceneInfoSummary"]["SceneFirstFrameIndex"]), len(records)),
          file=sys.stderr)


if __name__ == "__main__":
    main()
