#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Writes the example preset files under examples/presets/ from the standard
transfer functions and colour primaries.

    python3 tools/make_presets/make_presets.py           # rewrite the files
    python3 tools/make_presets/make_presets.py --check   # fail if they differ

The words follow the fixed-point scales described in examples/presets/README.md:
EOTF x a 10-bit code and y 16-bit linear light; OETF x 16-bit linear light and
y a 10-bit code; gamut matrices signed with 16 fraction bits. Only the Python
standard library is used.
"""

import argparse
import json
import math
import pathlib
import sys
from fractions import Fraction

EOTF_POINTS = 65
OETF_POINTS = 33
CODE_MAX = 1023  # 10-bit code
LINEAR_MAX = 65535  # 16-bit linear light
MATRIX_FRACTION_BITS = 16

# SMPTE ST 2084 (PQ) constants, as the standard writes them.
PQ_M1 = 2610.0 / 16384
PQ_M2 = 2523.0 / 4096 * 128
PQ_C1 = 3424.0 / 4096
PQ_C2 = 2413.0 / 4096 * 32
PQ_C3 = 2392.0 / 4096 * 32
PQ_PEAK = 10000.0

# ITU-R BT.2100 HLG constants.
HLG_A = 0.17883277
HLG_B = 1 - 4 * HLG_A
HLG_C = 0.5 - HLG_A * math.log(4 * HLG_A)

# CIE 1931 xy chromaticities of red, green, blue and the white point.
D65 = (Fraction("0.3127"), Fraction("0.3290"))
PRIMARIES = {
    "bt709": ((Fraction("0.640"), Fraction("0.330")), (Fraction("0.300"), Fraction("0.600")),
              (Fraction("0.150"), Fraction("0.060")), D65),
    "bt2020": ((Fraction("0.708"), Fraction("0.292")), (Fraction("0.170"), Fraction("0.797")),
               (Fraction("0.131"), Fraction("0.046")), D65),
    # The dataspace standard "dci-p3" is P3 with the D65 white (SMPTE EG 432-1).
    "dci-p3": ((Fraction("0.680"), Fraction("0.320")), (Fraction("0.265"), Fraction("0.690")),
               (Fraction("0.150"), Fraction("0.060")), D65),
}


def round_half_away(v):
    """Rounds to the nearest integer, halves away from zero."""
    return int(math.copysign(math.floor(abs(v) + 0.5), v))


# --- Transfer functions -------------------------------------------------------------

def pq_eotf(signal):
    """PQ signal in [0, 1] to absolute luminance in nits."""
    p = signal ** (1 / PQ_M2)
    return PQ_PEAK * (max(p - PQ_C1, 0.0) / (PQ_C2 - PQ_C3 * p)) ** (1 / PQ_M1)


def hlg_inverse_oetf(signal):
    """HLG signal in [0, 1] to normalised scene light in [0, 1]."""
    if signal <= 0.5:
        return signal * signal / 3
    return (math.exp((signal - HLG_C) / HLG_A) + HLG_B) / 12


def hlg_system_gamma(peak):
    """The OOTF exponent for a display of nominal peak `peak` nits."""
    return 1.2 + 0.42 * math.log10(peak / 1000)


def srgb_encode(light):
    """Display light in [0, 1] to an sRGB signal (inverse of the sRGB EOTF)."""
    if light <= 0.0031308:
        return 12.92 * light
    return 1.055 * light ** (1 / 2.4) - 0.055


def gamma22_encode(light):
    return light ** (1 / 2.2)


# --- Tables -------------------------------------------------------------------------

def eotf_codes():
    # Evenly spaced codes; the last point is the top code, not 1024.
    return [min(16 * i, CODE_MAX) for i in range(EOTF_POINTS)]


def eotf_entry(function, peak, light_of_signal, description):
    """An EOTF table: code -> linear light relative to `peak`, clipped at it."""
    xs = eotf_codes()
    ys = [round_half_away(LINEAR_MAX * min(light_of_signal(x / CODE_MAX), 1.0)) for x in xs]
    return {"description": description, "function": function, "max_luminance": peak,
            "x-values": xs, "y-values": ys}


def pq_entry(peak):
    return eotf_entry("st2084-pq", peak, lambda e: pq_eotf(e) / peak,
                      f"PQ EOTF, light relative to a {peak}-nit mastering peak")


def hlg_entry(peak):
    gamma = hlg_system_gamma(peak)
    # The OOTF on an achromatic signal: display light = scene light ^ gamma.
    return eotf_entry("hlg", peak, lambda e: hlg_inverse_oetf(e) ** gamma,
                      f"HLG inverse OETF and OOTF (system gamma {gamma:.3f}) "
                      f"for a {peak}-nit display")


def oetf_lights():
    # Quadratic spacing puts more points near black, where the encoding
    # curves are steepest.
    return [round_half_away(LINEAR_MAX * (i / (OETF_POINTS - 1)) ** 2) for i in range(OETF_POINTS)]


def oetf_entry(function, encode, product_peak, content_peak, default=False):
    """An OETF table: light relative to the content's peak -> panel code.

    Light above the panel's peak clips to the top code.
    """
    xs = oetf_lights()
    ys = [round_half_away(CODE_MAX * encode(min(x / LINEAR_MAX * content_peak / product_peak,
                                                1.0)))
          for x in xs]
    entry = {"description": f"{function} encoding of {content_peak}-nit content "
                            f"on a {product_peak}-nit panel",
             "function": function, "product_peak": product_peak, "max_luminance": content_peak}
    if default:
        entry["default"] = True
    entry["x-values"] = xs
    entry["y-values"] = ys
    return entry


# --- Gamut matrices -----------------------------------------------------------------

def xyz(chromaticity):
    x, y = chromaticity
    return [x / y, Fraction(1), (1 - x - y) / y]


def inverse3(m):
    (a, b, c), (d, e, f), (g, h, i) = m
    det = a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g)
    return [[(e * i - f * h) / det, (c * h - b * i) / det, (b * f - c * e) / det],
            [(f * g - d * i) / det, (a * i - c * g) / det, (c * d - a * f) / det],
            [(d * h - e * g) / det, (b * g - a * h) / det, (a * e - b * d) / det]]


def multiply3(p, q):
    return [[sum(p[r][k] * q[k][c] for k in range(3)) for c in range(3)] for r in range(3)]


def rgb_to_xyz(standard):
    """The normalised primary matrix: linear RGB to XYZ with white at Y = 1."""
    red, green, blue, white = PRIMARIES[standard]
    columns = [xyz(red), xyz(green), xyz(blue)]
    p = [[columns[c][r] for c in range(3)] for r in range(3)]
    w = xyz(white)
    s = [sum(row[k] * w[k] for k in range(3)) for row in inverse3(p)]
    return [[p[r][c] * s[c] for c in range(3)] for r in range(3)]


def gamut_entry(source, target):
    """Linear source RGB to linear target RGB, in signed fixed point.

    Both standards share the D65 white, so no chromatic adaptation is needed.
    Each row is rounded, then its diagonal coefficient takes up the rounding
    so that the row sums to exactly 1.0: white stays exactly white.
    """
    exact = multiply3(inverse3(rgb_to_xyz(target)), rgb_to_xyz(source))
    one = 1 << MATRIX_FRACTION_BITS
    words = []
    for r, row in enumerate(exact):
        fixed = [round_half_away(float(v * one)) for v in row]
        fixed[r] += one - sum(fixed)
        words.extend(fixed)
    return {"description": f"linear {source} RGB to linear {target} RGB, "
                           f"{MATRIX_FRACTION_BITS} fraction bits",
            "source": source, "target": target, "values": words}


# --- Files --------------------------------------------------------------------------

def example_preset():
    eotf = [pq_entry(peak) for peak in (1000, 2000, 4000, 10000)]
    eotf += [hlg_entry(peak) for peak in (1000, 2000)]
    oetf = []
    for function, encode in (("srgb", srgb_encode), ("gamma2.2", gamma22_encode)):
        for product_peak in (500, 1000):
            for content_peak in (1000, 4000):
                default = function == "srgb" and product_peak == 500 and content_peak == 1000
                oetf.append(oetf_entry(function, encode, product_peak, content_peak, default))
    gamut = [gamut_entry("bt2020", "bt709"), gamut_entry("bt2020", "dci-p3")]
    return {"eotf": eotf, "oetf": oetf, "gamut_mapping": gamut}


def minimal_preset():
    """One table of each kind: PQ content mastered at 1000 nits on a 500-nit sRGB panel."""
    return {"eotf": [pq_entry(1000)],
            "oetf": [oetf_entry("srgb", srgb_encode, 500, 1000, default=True)],
            "gamut_mapping": [gamut_entry("bt2020", "bt709")]}


def format_value(value, indent):
    """JSON text with each number array packed 13 to a line."""
    pad = " " * indent
    if isinstance(value, bool):
        return "true" if value else "false"
    if isinstance(value, (int, str)):
        return json.dumps(value) if isinstance(value, str) else str(value)
    if isinstance(value, list) and all(isinstance(v, int) for v in value):
        rows = [", ".join(str(v) for v in value[i:i + 13]) for i in range(0, len(value), 13)]
        return "[\n" + ",\n".join(pad + "  " + row for row in rows) + "\n" + pad + "]"
    if isinstance(value, list):
        return ("[\n" + ",\n".join(pad + "  " + format_value(v, indent + 2) for v in value) +
                "\n" + pad + "]")
    members = [pad + "  " + json.dumps(k) + ": " + format_value(v, indent + 2)
               for k, v in value.items()]
    return "{\n" + ",\n".join(members) + "\n" + pad + "}"


def files():
    note = ("Generated by tools/make_presets/make_presets.py; "
            "scales in examples/presets/README.md")
    return {
        "example_preset.json": {"about": note, **example_preset()},
        "minimal_preset.json": {"about": note, **minimal_preset()},
    }


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--check", action="store_true",
                        help="compare with the files instead of writing them")
    parser.add_argument("--out", type=pathlib.Path,
                        default=pathlib.Path(__file__).resolve().parents[2] / "examples/presets")
    args = parser.parse_args()

    stale = []
    for name, preset in files().items():
        text = format_value(preset, 0) + "\n"
        path = args.out / name
        if args.check:
            if not path.exists() or path.read_text() != text:
                stale.append(str(path))
        else:
            path.write_text(text)
    if stale:
        print("out of date (run tools/make_presets/make_presets.py):", *stale, sep="\n  ")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
