#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/<target>/.

The seeds are committed; run this again only to change them
(python3 fuzz/make_seeds.py). Each seed starts the fuzzer on a path worth
exploring: valid inputs of every kind, and each kind of rejection.
"""
import json
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def write(target, name, data):
    path = os.path.join(HERE, "corpus", target, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    if isinstance(data, str):
        data = data.encode()
    with open(path, "wb") as f:
        f.write(data)


# ---- preset_loader: JSON preset files -------------------------------------

def lut(n, scale):
    return [i * scale for i in range(n)]


def eotf(function, peak=None, nx=65, ny=65):
    e = {"function": function, "x-values": lut(nx, 16), "y-values": lut(ny, 1000)}
    if peak is not None:
        e["max_luminance"] = peak
    return e


def oetf(function, product_peak=None, peak=None, default=None, nx=33, ny=33):
    e = {"function": function, "x-values": lut(nx, 2000), "y-values": lut(ny, 32)}
    if product_peak is not None:
        e["product_peak"] = product_peak
    if peak is not None:
        e["max_luminance"] = peak
    if default is not None:
        e["default"] = default
    return e


def gamut(source, target, n=9):
    return {"source": source, "target": target, "values": list(range(-4, n - 4))}


def preset(name, doc):
    write("preset_loader", name, json.dumps(doc, separators=(",", ":")))


preset("valid.json", {
    "eotf": [eotf("st2084-pq", 1000), eotf("st2084-pq", 4000), eotf("hlg")],
    "oetf": [oetf("srgb", 500, 1000, True), oetf("srgb", 500, 4000), oetf("gamma2.2", 0, 0)],
    "gamut_mapping": [gamut("bt2020", "bt709"), gamut("bt2020", "dci-p3")],
})
preset("equal_keys.json", {
    "eotf": [eotf("st2084-pq", 1000), eotf("st2084-pq", 1000)],
    "oetf": [oetf("srgb", 500, 1000), oetf("srgb", 500, 1000), oetf("srgb", default=True)],
    "gamut_mapping": [gamut("bt2020", "bt709"), gamut("bt2020", "bt709")],
})
preset("rejections.json", {
    "eotf": [{"x-values": [], "y-values": []}, eotf("st2084-pq", 1000, nx=64),
             eotf("ST2084-PQ"), None],
    "oetf": [oetf("srgb", nx=65, ny=65), oetf("linear")],
    "gamut_mapping": [{"source": "bt2020"}, gamut("bt2020", "srgb"), gamut("bt709", "bt2020", 8)],
})
preset("sections_as_objects.json", {
    "eotf": {"a": eotf("hlg", 1000)},
    "oetf": {"b": oetf("srgb", 100)},
    "gamut_mapping": {"c": gamut("dci-p3", "bt709")},
    "unknown": 1,
})
preset("wrong_types.json", {
    "eotf": [dict(eotf("st2084-pq"), max_luminance="1000"),
             dict(eotf("st2084-pq"), **{"x-values": [-1] + lut(64, 1)}),
             dict(eotf("hlg"), function=7), 5],
    "oetf": [dict(oetf("srgb"), product_peak=4294967296), dict(oetf("srgb"), default="yes")],
    "gamut_mapping": [dict(gamut("bt2020", "bt709"), values=[2147483648] * 9),
                      {"source": 6, "target": "bt709", "values": [1] * 9}],
})
write("preset_loader", "not_json.txt", '{"eotf": [ {"function": "hlg", ')
write("preset_loader", "top_level_array.json", "[1, 2, 3]")
write("preset_loader", "null.json", "null")
write("preset_loader", "empty", "")

# ---- hdr10plus_path: record, target, layer peak, EOTF peak, count ---------

def record(flag=1, knee=(1700, 1600), anchors=(500, 700, 800, 870, 920, 960, 990, 1010, 1020),
           maxscl=(40000, 35000, 30000), targeted=1000,
           dist=((1, 5), (5, 20), (10, 50), (25, 200), (50, 1000), (75, 3000), (90, 8000),
                 (95, 12000), (99, 25000)),
           num_dist=None, num_anchors=None):
    b = bytearray(312)
    struct.pack_into("<I", b, 180, targeted)
    struct.pack_into("<3I", b, 184, *maxscl)
    b[196] = len(dist) if num_dist is None else num_dist
    for i, (pct, val) in enumerate(dist):
        b[197 + i] = pct
        struct.pack_into("<I", b, 212 + 4 * i, val)
    struct.pack_into("<HHHH", b, 272, flag, knee[0], knee[1],
                     len(anchors) if num_anchors is None else num_anchors)
    for i, a in enumerate(anchors):
        struct.pack_into("<H", b, 280 + 2 * i, a)
    return bytes(b)


def path_seed(name, rec, target, layer=4000, eotf_peak=1000, count=33):
    write("hdr10plus_path", name, rec + struct.pack("<IIIB", target, layer, eotf_peak, count))


path_seed("guided_same_target", record(), 1000)
path_seed("guided_lower_target", record(), 600)
path_seed("guided_higher_target", record(), 2000)
path_seed("guided_under_200", record(), 150)
path_seed("basis_flag0", record(flag=0), 1000)
path_seed("basis_flag2", record(flag=2), 400)
path_seed("three_anchors_two_points", record(knee=(900, 1100), anchors=(400, 750, 950),
                                             targeted=600, maxscl=(9000, 7000, 5000),
                                             dist=((10, 30), (50, 400), (90, 2500), (99, 6000))),
          400, count=2)
path_seed("fifteen_anchors", record(anchors=tuple(60 * i + 100 for i in range(15))), 800)
path_seed("zero_anchors_knee_zero", record(knee=(0, 0), anchors=()), 700)
path_seed("hostile_counts", record(num_dist=255, num_anchors=65535), 900, count=255)
path_seed("all_zero", bytes(312), 0, 0, 0, 0)

# ---- host_calls: opcode, writer, arguments --------------------------------
# Opcodes: 0 setLayerStaticMetadata(index, dataspace, min, max),
# 1 setLayerOpaqueData(index, record selector), 2 setLayerImageInfo,
# 3 setTargetInfo(dataspace), 4 setTargetDisplayLuminance(min, max),
# 5 getParams, 6 getTM, 7 getTM(null), 8 putParams, 9 new writer,
# 10 host rewrites a record. Selectors below 192 pick from the harness's
# lists: dataspaces 0 PQ bt2020, 1 HLG bt2020, 2 sRGB bt709, 3 sRGB P3,
# 4 PQ P3, 5 transfer 9; luminances 0 0, 1 100, 3 200, 4 500, 5 1000, 6 4000.

def ops(*items):
    return bytes(b for item in items for b in item)


def static(w, index, ds, lum):
    return (0, w, index, ds, 0, lum)


def opaque(w, index, rec):
    return (1, w, index, rec)


def target_peak(w, lum):
    return (4, w, 0, lum)


def get_params(w):
    return (5, w)


def get_tm(w):
    return (6, w)


write("host_calls", "hdr10plus_frame", ops(
    target_peak(0, 4), opaque(0, 0, 0), static(0, 0, 0, 6), get_params(0), get_tm(0),
    static(0, 0, 0, 6), get_params(0), get_tm(0)))
write("host_calls", "static_and_pass_through", ops(
    (3, 1, 2), target_peak(1, 4), static(1, 0, 0, 5), static(1, 1, 1, 5), static(1, 2, 2, 1),
    static(1, 3, 4, 5), get_params(1), get_tm(1), get_params(1), (9, 1), get_tm(1)))
write("host_calls", "five_dynamic_layers", ops(
    *(opaque(2, i, i % 4) for i in range(5)), *(static(2, i, 0, 5) for i in range(5)),
    get_params(2), get_tm(2)))
write("host_calls", "unregister_and_rewrite", ops(
    opaque(0, 3, 1), static(0, 3, 0, 5), get_params(0), (1, 0, 3, 170), static(0, 3, 0, 5),
    get_params(0), (10, 0, 1, 0, 1, 0, 0, 4, 255, 255, 255, 255), opaque(0, 3, 1),
    static(0, 3, 0, 5), get_params(0), get_tm(0)))
write("host_calls", "odd_indexes", ops(
    (0, 0, 200, 16, 0, 0, 0, 0, 5, 5), (0, 0, 201, 255, 255, 255, 255, 0, 0, 0),
    (2, 0, 250, 16, 0, 0, 0, 1, 2, 3, 4, 1), (7, 0), (8, 0, 0), (8, 0, 1), get_params(0)))

# ---- hdr10plus_payload: HDR10+ T.35 payloads --------------------------------

# Real payloads of sample streams: a curve of nine anchors, statistics only,
# a curve of no anchors, ten distribution entries; and one of three windows
# with geometry, both actual-peak matrices and saturation weights.
PAYLOADS = {
    "curve_nine_anchors":
        "b5003c0001040140000c803cb019bd0d800041e4080000285f00500170c800059000125801aed00b5af81be3185b"
        "4c0042903c248f4a9bf942dbd837be57aa00",
    "statistics_only":
        "b5003c00010401400000008b4c41ff1bd601036408000c28db205000acc800e190036e581032d02a6af848f318e1"
        "b40000",
    "curve_no_anchors":
        "b5003c0001040140013870000000000000000024080000280000500000c80001900002580002d00002f800031800"
        "000040000000",
    "ten_entries":
        "b5003c0001040140000fa0000200030003000064080000280000500190c8000d900012580016d0001af8001f1800"
        "200060001564663353366a0099acdccf9a00",
    "three_windows":
        "b5003c00010401c0028002c3bfc21bc1e0010e16801901f4000c8002800161dfe10de0f0008716800c80fa000650"
        "0007d110c48d17d38807530271000fa0c08000d90036f18e1b4004e201d4c49c4003e930200036400dbc6386d191"
        "38807532271000fa8c08000d90036f18e1b4c88c5fdb9756a464037d2bcc80936a464037d2bcc82500",
}
for name, text in PAYLOADS.items():
    write("hdr10plus_payload", name, bytes.fromhex(text))
# Refusals: cut short, another country, an unknown version, padding set.
first = bytes.fromhex(PAYLOADS["curve_nine_anchors"])
write("hdr10plus_payload", "truncated", first[:40])
write("hdr10plus_payload", "other_country", b"\xb4" + first[1:])
write("hdr10plus_payload", "version_two", first[:6] + b"\x02" + first[7:])
write("hdr10plus_payload", "padding_set", first[:-1] + b"\x01")
write("hdr10plus_payload", "without_country_code", first[1:])


# ---- hdr10plus_json: HDR10+ JSON documents ----------------------------------

def scene(knee=None, anchors=(), percentages=(1, 50, 99), values=(3, 219, 14445), **extra):
    entry = {
        "LuminanceParameters": {
            "AverageRGB": 1037,
            "LuminanceDistributions": {"DistributionIndex": list(percentages),
                                       "DistributionValues": list(values)},
            "MaxScl": [17830, 16895, 14252]},
        "NumberOfWindows": 1,
        "TargetedSystemDisplayMaximumLuminance": 400,
        "SceneFrameIndex": 0, "SceneId": 0, "SequenceFrameIndex": 0}
    if knee is not None:
        entry["BezierCurveData"] = {"KneePointX": knee[0], "KneePointY": knee[1],
                                    "Anchors": list(anchors)}
    entry.update(extra)
    return entry


def document(*scenes):
    return json.dumps({"JSONInfo": {"HDR10plusProfile": "B", "Version": "1.0"},
                       "SceneInfo": list(scenes)})


write("hdr10plus_json", "curve_and_statistics",
      document(scene((164, 240), (143, 298, 447, 592)), scene()))
write("hdr10plus_json", "limits", document(scene(
    (4095, 0), [1023] * 15, list(range(85, 100)), [4294967295] * 15,
    TargetedSystemDisplayMaximumLuminance=10000)))
write("hdr10plus_json", "rejected_entries", document(
    scene((4096, 0)), scene(percentages=(1, 99, 50)), 7, scene(SceneId="x"),
    scene(LuminanceParameters={"MaxScl": [1, 2]})))
write("hdr10plus_json", "no_scene_info", json.dumps({"SceneInfoSummary": {}}))


# ---- annexb_reader: HEVC Annex B streams ----------------------------------
# The first byte chooses where the stream is split into two chunks.

class Bits:
    def __init__(self):
        self.bits = []

    def u(self, value, n):
        self.bits += [(value >> (n - 1 - i)) & 1 for i in range(n)]

    def ue(self, value):
        coded = value + 1
        n = coded.bit_length()
        self.u(0, n - 1)
        self.u(coded, n)

    def rbsp(self):
        bits = self.bits + [1]
        bits += [0] * (-len(bits) % 8)
        return bytes(int("".join(map(str, bits[i:i + 8])), 2) for i in range(0, len(bits), 8))


def escape(rbsp):
    out, zeros = bytearray(), 0
    for b in rbsp:
        if zeros >= 2 and b <= 3:
            out.append(3)
            zeros = 0
        out.append(b)
        zeros = zeros + 1 if b == 0 else 0
    return bytes(out)


def nal(kind, body, tid=1, four=False):
    return (b"\0" if four else b"") + b"\0\0\1" + escape(bytes([kind << 1, tid]) + body)


def sps(poc_bits, reorder):
    w = Bits()
    w.u(0, 4); w.u(0, 3); w.u(1, 1); w.u(0, 96)
    w.ue(0); w.ue(1); w.ue(64); w.ue(64); w.u(0, 1); w.ue(2); w.ue(2); w.ue(poc_bits - 4)
    w.u(1, 1); w.ue(4); w.ue(reorder); w.ue(0)
    return nal(33, w.rbsp())


def pps():
    w = Bits()
    w.ue(0); w.ue(0); w.u(0, 1); w.u(0, 1); w.u(0, 3)
    return nal(34, w.rbsp())


def slice_(kind, poc, poc_bits=8):
    w = Bits()
    w.u(1, 1)
    if 16 <= kind <= 23:
        w.u(0, 1)
    w.ue(0); w.ue(1)
    if kind not in (19, 20):
        w.u(poc, poc_bits)
    w.u(0x5a5a, 16)
    return nal(kind, w.rbsp())


def sei(*messages):
    body = bytearray()
    for kind, payload in messages:
        for value in (kind, len(payload)):
            while value >= 255:
                body.append(255)
                value -= 255
            body.append(value)
        body += payload
    return nal(39, bytes(body) + b"\x80")


T35 = bytes([0xB5, 0x00, 0x3C, 0x00, 0x01, 0x04, 0x01])
header = sps(8, 2) + pps()
write("annexb_reader", "reordered_group", b"\x80" + header + sei((4, T35 + b"\x40\0\0")) +
      slice_(19, 0) + b"".join(slice_(1, p) for p in (4, 2, 1, 3)))
write("annexb_reader", "persistence_and_cra", b"\x20" + header + slice_(21, 8) + slice_(9, 6) +
      sei((5, b"abc"), (4, T35 + b"\x40\1\2"), (4, T35)) + slice_(1, 9) + nal(36, b"") +
      slice_(21, 3) + slice_(0, 4))
write("annexb_reader", "four_byte_start_codes", b"\xff" +
      nal(33, sps(4, 0)[5:], four=True) + nal(34, pps()[5:], four=True) + b"\0\0" +
      sei((4, T35 + bytes(300))) + b"".join(slice_(1, p, 4) for p in range(0, 16)))
write("annexb_reader", "cut_sei", b"\x40" + header + nal(39, bytes([4, 60]) + T35))


# ---- file_extent: the top-level sizes of container files ------------------

EBML = b"\x1a\x45\xdf\xa3\x84hhhh"  # an EBML header of 4 bytes' content
SEGMENT = b"\x18\x53\x80\x67"
write("file_extent", "matroska_whole", EBML + SEGMENT + b"\x8a" + b"s" * 10)
write("file_extent", "matroska_cut", EBML + SEGMENT + b"\x40\x0a" + b"s" * 9)
write("file_extent", "matroska_unknown_size", EBML + SEGMENT + b"\x01" + b"\xff" * 7 + b"s")


def box(kind, size, content):
    return struct.pack(">I", size) + kind + content


FTYP = box(b"ftyp", 16, b"isom" * 2)
write("file_extent", "mp4_chain", FTYP + box(b"free", 8, b"") + box(b"mdat", 21, b"b" * 12))
write("file_extent", "mp4_large_size", FTYP + struct.pack(">I", 1) + b"mdat" +
      struct.pack(">Q", 40) + b"b" * 4)
write("file_extent", "mp4_to_the_end", FTYP + box(b"mdat", 0, b"b" * 30))
# --- png_still: 16-bit PNGs with and without a cICP chunk -------------------


def png_chunk(kind, data):
    return (struct.pack(">I", len(data)) + kind + data +
            struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))


def png(width, height, colour_type, channels, cicp=None, value=0x8000):
    rows = b"".join(b"\0" + struct.pack(">H", value) * (width * channels) for _ in range(height))
    data = b"\x89PNG\r\n\x1a\n" + png_chunk(
        b"IHDR", struct.pack(">IIBBBBB", width, height, 16, colour_type, 0, 0, 0))
    if cicp:
        data += png_chunk(b"cICP", bytes(cicp))
    return data + png_chunk(b"IDAT", zlib.compress(rows)) + png_chunk(b"IEND", b"")


write("png_still", "rgb-cicp.png", png(3, 2, 2, 3, (9, 16, 0, 1)))
write("png_still", "grey-alpha-no-cicp.png", png(2, 2, 4, 2, value=0x4000))
write("png_still", "rgba-hlg.png", png(2, 1, 6, 4, (9, 18, 0, 1)))

print("seeds written under", os.path.join(HERE, "corpus"))
