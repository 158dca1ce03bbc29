#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Checks that `kestrel metadata` reads every frame of the film stream of
scripts/make_film_stream.py, in display order, with the HDR10+ record of the
clip's picture it repeats.

    check_film_stream.py KESTREL FILM.hevc SOURCE.hevc WORK_DIR

Both streams go through `kestrel metadata`; the film's frame k must carry
the record of the clip's frame k mod (the clip's frame count), and the film
must hold a whole number of copies of the clip.
"""
import json
import os
import subprocess
import sys

NUMBERING = ("SceneFrameIndex", "SequenceFrameIndex", "SceneId")


def frames_of(kestrel, stream, out):
    subprocess.run([kestrel, "metadata", stream, "-o", out], check=True, stderr=subprocess.DEVNULL)
    with open(out, encoding="utf-8") as f:
        return json.load(f)["SceneInfo"]


def record(frame):
    return {k: v for k, v in frame.items() if k not in NUMBERING}


def main():
    kestrel, film, source, work = sys.argv[1:5]
    os.makedirs(work, exist_ok=True)
    clip = frames_of(kestrel, source, os.path.join(work, "clip.json"))
    frames = frames_of(kestrel, film, os.path.join(work, "film-stream.json"))
    if not clip or len(frames) % len(clip) != 0 or len(frames) < len(clip):
        sys.exit("film stream: %d frames, not a whole number of copies of the clip's %d"
                 % (len(frames), len(clip)))
    wanted = [record(f) for f in clip]
    for k, frame in enumerate(frames):
        if frame.get("SequenceFrameIndex") != k:
            sys.exit("film stream: frame %d is numbered %s" % (k, frame.get("SequenceFrameIndex")))
        if record(frame) != wanted[k % len(clip)]:
            sys.exit("film stream: frame %d (copy %d, frame %d of the clip) carries another record"
                     % (k, k // len(clip), k % len(clip)))
    print("film stream: %d frames, %d copies of the clip's %d, each with its own record"
          % (len(frames), len(frames) // len(clip), len(clip)))


if __name__ == "__main__":
    main()
