#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Writes a film-length HEVC Annex B stream by repeating a real clip's
pictures, the same bytes for the same arguments on every machine.

    scripts/make_film_stream.py OUT.hevc [--frames 172800] [--source FILE]

The source (regular.hevc in ../shared/hdr10plus/streams by default;
KESTREL_HDR10PLUS_DIR overrides the folder) is copied whole, as many times as
it takes to reach --frames pictures: 668 copies of regular.hevc's 259 for the
default, 173,012 pictures. Each copy begins with the clip's first access
unit, which carries the parameter sets and an IDR picture, so every copy is a
coded video sequence of its own: picture order counts start again, the
display order within a copy is the clip's, and each picture keeps the
HDR10+ message it has in the clip. A copy is never cut short, since a cut in
decoding order can leave a picture without the ones shown around it.
"""
import argparse
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))

AUD = 35  # access unit delimiter
IDR_TYPES = (19, 20)  # IDR_W_RADL, IDR_N_LP
VPS, SPS, PPS = 32, 33, 34


def nal_units(data):
    """(offset of the start code, NAL unit type) of every unit."""
    units = []
    i = data.find(b"\x00\x00\x01")
    while i >= 0 and i + 3 < len(data):
        start = i - 1 if i > 0 and data[i - 1] == 0 else i
        units.append((start, (data[i + 3] >> 1) & 0x3F))
        i = data.find(b"\x00\x00\x01", i + 3)
    return units


def pictures_in(data, name):
    """The number of access units of a clip that starts a sequence of its
    own; exits when it does not."""
    units = nal_units(data)
    if not units or units[0][0] != 0 or units[0][1] != AUD:
        sys.exit("make_film_stream.py: %s does not begin with an access unit delimiter" % name)
    first_au = []
    for _, kind in units[1:]:
        if kind == AUD:
            break
        first_au.append(kind)
    if not all(k in first_au for k in (VPS, SPS, PPS)) or not any(k in IDR_TYPES for k in first_au):
        sys.exit("make_film_stream.py: the first access unit of %s has no parameter sets and IDR "
                 "picture, so a copy would not start a sequence of its own" % name)
    return sum(1 for _, kind in units if kind == AUD)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("out")
    parser.add_argument("--frames", type=int, default=172800)
    parser.add_argument("--source")
    args = parser.parse_args()
    folder = os.environ.get("KESTREL_HDR10PLUS_DIR", os.path.join(HERE, "..", "..", "shared", "hdr10plus"))
    source = args.source or os.path.join(folder, "streams", "regular.hevc")
    with open(source, "rb") as f:
        data = f.read()
    pictures = pictures_in(data, source)
    copies = max(1, -(-args.frames // pictures))
    tmp = args.out + ".part"
    with open(tmp, "wb") as f:
        for _ in range(copies):
            f.write(data)
    os.replace(tmp, args.out)
    print("make_film_stream.py: wrote %s: %d frames, %d copies of the %d of %s"
          % (args.out, copies * pictures, copies, pictures, os.path.basename(source)), file=sys.stderr)


if __name__ == "__main__":
    main()
