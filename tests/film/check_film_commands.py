#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Runs the reduced film through `kestrel report` and `kestrel lut
--all-frames`, as a title is checked, and checks that both cover every frame.

    check_film_commands.py KESTREL FILM.json WORK_DIR

report (three targets, its data document) must count every frame of the
film; lut must write one CSV row per frame. The numbers of each frame are
compared with the frame-by-frame path elsewhere; this is the film's length
going through the commands that read it whole.
"""
import json
import os
import subprocess
import sys


def main():
    kestrel, film, work = sys.argv[1:4]
    os.makedirs(work, exist_ok=True)
    with open(film, encoding="utf-8") as f:
        frames = len(json.load(f)["SceneInfo"])
    report = os.path.join(work, "film-report.json")
    subprocess.run([kestrel, "report", film, "--target-nits", "400,600,1000", "--format", "json",
                    "-o", report], check=True, stderr=subprocess.DEVNULL)
    with open(report, encoding="utf-8") as f:
        counted = json.load(f)["frame_count"]
    if counted != frames:
        sys.exit("report: %d frames of the film's %d" % (counted, frames))
    lut = subprocess.run([kestrel, "lut", film, "--all-frames", "--target-nits", "600", "--format", "csv"],
                         check=True, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout
    rows = lut.decode("utf-8").splitlines()[1:]
    numbered = [int(r.split(",", 1)[0]) for r in rows]
    if numbered != list(range(frames)):
        sys.exit("lut --all-frames: %d rows for the film's %d frames" % (len(rows), frames))
    print("film: report and lut --all-frames cover all %d frames" % frames)


if __name__ == "__main__":
    main()
