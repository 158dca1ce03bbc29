#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Runs a film through the kestrel tool and records what each command costs:
wall time, CPU time (user + system) and peak resident memory.

    scripts/film_bench.py --kestrel PATH [--frames 172800] [--seed 1]
                          [--work DIR] [--markdown FILE]

The film is the HDR10+ JSON of scripts/make_film.py and the HEVC stream of
scripts/make_film_stream.py (regular.hevc's pictures repeated), both written
into DIR once and kept for later runs. The commands:

    report FILM.json --target-nits 400,600,1000 -o film.html
    lut FILM.json --all-frames --target-nits 600 --format csv   (into lut.csv)
    metadata FILM.json -o metadata.json
    metadata FILM.hevc -o metadata-hevc.json
    report FILM.hevc --target-nits 400,600,1000 --metadata-only -o film-hevc-metadata.html
    report FILM.hevc --target-nits 400,600,1000 -o film-hevc.html   (every picture decoded)

Then the JSON film's page is opened in the system's Chromium
(bench/page_timing.mjs, playwright-core installed from tests/report's lock
file into DIR/browser): the first paint and choosing a frame, three runs,
judged against 3 s and 200 ms; left out, and said so, where chromium, node
or npm is missing.

The goal for the stream is the metadata-only report's, as a ratio to the
JSON report's in the same run; the report that decodes every picture is
recorded beside it, with its ratio, as what the default costs.

Each command's wall time is measured from start to exit, its CPU time and
peak RSS come from the kernel's accounting of that child alone (wait4). What
a command writes to standard error goes to DIR/NAME.stderr, except its
progress bar, which is shown on the terminal with the step and the time so
far; without a terminal one line per step is printed. Exits 1 when a command
fails or when `metadata` does not give one frame per frame of its input.
"""
import argparse
import filecmp
import importlib.util
import json
import os
import pty
import shutil
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))

# Goals on the 2-core development machine, run alone: seconds of wall time
# and MB of peak RSS; the HEVC report's is a ratio to the JSON report's.
GOALS = {
    "report": (10.0, 500),
    "lut": (4.0, 300),
    "metadata": (3.0, 300),
}
HEVC_REPORT_RATIO = 1.5
# The film's page in headless Chromium: milliseconds to the first paint and
# from choosing a frame to the next paint.
PAGE_GOALS = {"first_paint_ms": 3000, "choose_ms": 200}
PAGE_RUNS = 3


def load_module(name):
    spec = importlib.util.spec_from_file_location(name, os.path.join(HERE, name + ".py"))
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


class Status:
    """One line on the terminal: the step, the time so far and the tool's
    own progress bar. Nothing when standard error is not a terminal."""

    def __init__(self, steps):
        self.enabled = sys.stderr.isatty()
        self.steps = steps
        self.step = 0
        self.name = ""
        self.started = time.monotonic()
        self.tool = ""
        self.lock = threading.Lock()
        self.running = False

    def begin(self, step, name):
        with self.lock:
            self.step, self.name, self.tool = step, name, ""
            self.started = time.monotonic()
        if not self.enabled:
            print("[%d/%d] %s" % (step, self.steps, name), file=sys.stderr, flush=True)
            return
        self.running = True
        threading.Thread(target=self._tick, daemon=True).start()

    def tool_progress(self, text):
        with self.lock:
            self.tool = text

    def end(self, summary):
        self.running = False
        time.sleep(0.05)
        if self.enabled:
            sys.stderr.write("\r\033[K")
        print("[%d/%d] %s: %s" % (self.step, self.steps, self.name, summary), file=sys.stderr, flush=True)

    def _tick(self):
        while self.running:
            with self.lock:
                done = self.step - 1
                width = 20
                filled = done * width // self.steps
                bar = "#" * filled + "." * (width - filled)
                line = "[%s] %d/%d %s %.1f s  %s" % (bar, self.step, self.steps, self.name,
                                                   time.monotonic() - self.started, self.tool)
            sys.stderr.write("\r\033[K" + line[:150])
            sys.stderr.flush()
            time.sleep(0.2)


def pump(read, log, status):
    """Copies a command's standard error into its log, except progress-bar
    updates (segments ended by a carriage return that start with '['), which
    go to the status line. read() returns the next bytes, b"" at the end."""
    pending = b""
    while True:
        chunk = read()
        if not chunk:
            break
        pending += chunk
        while True:
            cut = min((i for i in (pending.find(b"\r"), pending.find(b"\n")) if i >= 0), default=-1)
            if cut < 0:
                break
            segment, pending = pending[:cut], pending[cut + 1:]
            text = segment.decode("utf-8", "replace").replace("\033[K", "")
            if text.startswith("[") and ("/" in text or "%" in text):
                status.tool_progress(text)
            elif text:
                log.write(segment + b"\n")
    if pending:
        log.write(pending)


def read_terminal(fd):
    try:
        return os.read(fd, 65536)
    except OSError:  # EIO: the command and its children closed the terminal
        return b""


def run(name, argv, stdout_path, work, status, step):
    status.begin(step, name)
    log_path = os.path.join(work, name.replace(" ", "-") + ".stderr")
    out = open(stdout_path, "wb") if stdout_path else subprocess.DEVNULL
    with open(log_path, "wb") as log:
        started = time.monotonic()
        if status.enabled:
            # On a terminal the command's standard error is one too, so that
            # it draws its progress bar.
            master, slave = pty.openpty()
            child = subprocess.Popen(argv, stdout=out, stderr=slave)
            os.close(slave)
            read = lambda: read_terminal(master)
        else:
            child = subprocess.Popen(argv, stdout=out, stderr=subprocess.PIPE)
            read = lambda: child.stderr.read1(65536)
        reader = threading.Thread(target=pump, args=(read, log, status))
        reader.start()
        _, code, usage = os.wait4(child.pid, 0)
        wall = time.monotonic() - started
        child.returncode = os.waitstatus_to_exitcode(code)
        reader.join()
        if status.enabled:
            os.close(master)
        else:
            child.stderr.close()
    if stdout_path:
        out.close()
    result = {
        "name": name,
        "argv": argv,
        "status": child.returncode,
        "wall": wall,
        "cpu": usage.ru_utime + usage.ru_stime,
        "rss_mb": usage.ru_maxrss / 1024.0,  # kB on Linux
        "log": log_path,
    }
    status.end("%.1f s wall, %.1f s CPU, %.0f MB peak RSS, status %d"
               % (wall, result["cpu"], result["rss_mb"], child.returncode))
    return result


def frames_in(path):
    with open(path, encoding="utf-8") as f:
        return len(json.load(f).get("SceneInfo", []))


def page_timing(page, work, status, step):
    """Times the page in Chromium; returns the figures of bench/page_timing.mjs
    or a reason why it could not run."""
    status.begin(step, "the film's page in Chromium")
    missing = [c for c in ("chromium", "node", "npm") if shutil.which(c) is None]
    if missing:
        status.end("not measured: %s not installed" % ", ".join(missing))
        return {"skipped": "%s not installed" % ", ".join(missing)}
    if not os.path.exists(page):
        status.end("not measured: the report wrote no page")
        return {"skipped": "the report wrote no page"}
    node_dir = os.path.join(work, "browser")
    source = os.path.join(HERE, "..", "tests", "report")
    os.makedirs(node_dir, exist_ok=True)
    lock = os.path.join(source, "package-lock.json")
    installed = os.path.join(node_dir, "package-lock.json")
    if not (os.path.exists(installed) and filecmp.cmp(lock, installed, shallow=False)
            and os.path.isdir(os.path.join(node_dir, "node_modules"))):
        for name in ("package.json", "package-lock.json"):
            shutil.copy(os.path.join(source, name), node_dir)
        subprocess.run(["npm", "ci", "--no-audit", "--no-fund", "--loglevel=error"],
                       cwd=node_dir, check=True, stdout=subprocess.DEVNULL)
    done = subprocess.run(["node", os.path.join(HERE, "..", "bench", "page_timing.mjs"),
                           node_dir, page, str(PAGE_RUNS)], capture_output=True, text=True)
    if done.returncode != 0:
        status.end("failed: %s" % done.stderr.strip())
        return {"failed": done.stderr.strip() or "status %d" % done.returncode}
    figures = json.loads(done.stdout)
    figures["choose_max_ms"] = [max(run) for run in figures["choose_ms"]]
    status.end("first paint %s ms, choosing a frame at most %s ms"
               % (", ".join("%.0f" % t for t in figures["first_paint_ms"]),
                  ", ".join("%.0f" % t for t in figures["choose_max_ms"])))
    return figures


def page_table(figures):
    if "skipped" in figures or "failed" in figures:
        return "The film's page in Chromium: %s." % figures.get("skipped", "failed: " + figures.get("failed", ""))
    paint, choose = figures["first_paint_ms"], figures["choose_max_ms"]
    met = lambda worst, goal: "met" if worst <= goal else "not met"
    return "\n".join([
        "| the film's page in headless Chromium (%d frames, %.1f MB), %d runs | each run | worst | goal | |"
        % (figures["frames"], figures["bytes"] / 1e6, len(paint)),
        "|---|---|---:|---|---|",
        "| first paint | %s ms | %.0f ms | ≤ %d ms | %s |"
        % (", ".join("%.0f" % t for t in paint), max(paint), PAGE_GOALS["first_paint_ms"],
           met(max(paint), PAGE_GOALS["first_paint_ms"])),
        "| choosing a frame (slowest of five per run) | %s ms | %.0f ms | ≤ %d ms | %s |"
        % (", ".join("%.0f" % t for t in choose), max(choose), PAGE_GOALS["choose_ms"],
           met(max(choose), PAGE_GOALS["choose_ms"])),
    ])


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--kestrel", required=True, help="the kestrel program to measure")
    parser.add_argument("--frames", type=int, default=172800)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--work", default=os.path.join(HERE, "..", "build-film"))
    parser.add_argument("--markdown", help="also write the table to this file")
    args = parser.parse_args()
    kestrel = os.path.abspath(args.kestrel)
    os.makedirs(args.work, exist_ok=True)
    work = os.path.abspath(args.work)
    steps = 9
    status = Status(steps)

    film = os.path.join(work, "film-%d-seed%d.json" % (args.frames, args.seed))
    stream = os.path.join(work, "film-%d.hevc" % args.frames)
    status.begin(1, "the film as HDR10+ JSON")
    if not os.path.exists(film):
        subprocess.run([sys.executable, os.path.join(HERE, "make_film.py"), film + ".part",
                        "--frames", str(args.frames), "--seed", str(args.seed)],
                       check=True, stderr=subprocess.DEVNULL)
        os.replace(film + ".part", film)
    status.end("%s, %.1f MB" % (os.path.basename(film), os.path.getsize(film) / 1e6))
    status.begin(2, "the film as an HEVC stream")
    subprocess.run([sys.executable, os.path.join(HERE, "make_film_stream.py"), stream,
                    "--frames", str(args.frames)], check=True, stderr=subprocess.DEVNULL)
    with open(stream, "rb") as f:
        data = f.read()
    stream_frames = load_module("make_film_stream").pictures_in(data, stream)
    status.end("%s, %.1f MB, %d frames" % (os.path.basename(stream), len(data) / 1e6, stream_frames))

    targets = ["--target-nits", "400,600,1000"]
    commands = [
        ("report", [kestrel, "report", film] + targets + ["-o", os.path.join(work, "film.html")], None),
        ("lut", [kestrel, "lut", film, "--all-frames", "--target-nits", "600", "--format", "csv"],
         os.path.join(work, "lut.csv")),
        ("metadata", [kestrel, "metadata", film, "-o", os.path.join(work, "metadata.json")], None),
        ("metadata HEVC", [kestrel, "metadata", stream, "-o", os.path.join(work, "metadata-hevc.json")],
         None),
        ("report HEVC metadata-only",
         [kestrel, "report", stream] + targets
         + ["--metadata-only", "-o", os.path.join(work, "film-hevc-metadata.html")], None),
        ("report HEVC decoded", [kestrel, "report", stream] + targets
         + ["-o", os.path.join(work, "film-hevc.html")], None),
    ]
    results = []
    for k, (name, argv, stdout_path) in enumerate(commands):
        results.append(run(name, argv, stdout_path, work, status, 3 + k))

    page = page_timing(os.path.join(work, "film.html"), work, status, 3 + len(commands))

    failed = [r for r in results if r["status"] != 0]
    for r in failed:
        print("film_bench.py: %s exited with %d; its messages are in %s"
              % (r["name"], r["status"], r["log"]), file=sys.stderr)
    # Every frame read: the metadata written has one entry per frame.
    checks = []
    if not any(r["name"] == "metadata" for r in failed):
        got = frames_in(os.path.join(work, "metadata.json"))
        checks.append(("metadata of the JSON film", got, args.frames))
    if not any(r["name"] == "metadata HEVC" for r in failed):
        got = frames_in(os.path.join(work, "metadata-hevc.json"))
        checks.append(("metadata of the HEVC film", got, stream_frames))
    wrong = [c for c in checks if c[1] != c[2]]
    for what, got, want in wrong:
        print("film_bench.py: %s has %d frames, not %d" % (what, got, want), file=sys.stderr)

    by_name = {r["name"]: r for r in results}
    # The goals are for a whole film; a shorter one is measured, not judged.
    full = args.frames >= 172800
    lines = [
        "| command | frames | wall | CPU (user + system) | peak RSS | goal | |",
        "|---|---:|---:|---:|---:|---|---|",
    ]
    for r in results:
        base = r["name"].split()[0]
        hevc = "HEVC" in r["name"]
        frames = stream_frames if hevc else args.frames
        if r["name"].startswith("report HEVC") and "report" in by_name:
            ratio = r["wall"] / by_name["report"]["wall"]
            cpu_ratio = r["cpu"] / by_name["report"]["cpu"] if by_name["report"]["cpu"] > 0 else 0
            if r["name"] == "report HEVC metadata-only":
                goal = "≤ %.1f× the JSON report" % HEVC_REPORT_RATIO
                met = "%.2f× (CPU %.2f×), %s" % (ratio, cpu_ratio,
                                                 "met" if ratio <= HEVC_REPORT_RATIO else "not met")
            else:
                goal, met = "", "%.2f× (CPU %.2f×) the JSON report" % (ratio, cpu_ratio)
        elif not hevc and base in GOALS and full:
            seconds, megabytes = GOALS[base]
            goal = "≤ %g s, ≤ %d MB" % (seconds, megabytes)
            met = "met" if r["wall"] <= seconds and r["rss_mb"] <= megabytes else "not met"
        else:
            goal, met = "", ""
        if r["status"] != 0:
            met = "failed (status %d)" % r["status"]
        lines.append("| `%s` | %d | %.1f s | %.1f s | %.0f MB | %s | %s |"
                     % (r["name"], frames, r["wall"], r["cpu"], r["rss_mb"], goal, met))
    table = "\n".join(lines) + "\n\n" + page_table(page)
    print(table)
    if args.markdown:
        with open(args.markdown, "w", encoding="utf-8") as f:
            f.write(table + "\n")
    return 1 if failed or wrong or "failed" in page else 0


if __name__ == "__main__":
    sys.exit(main())
