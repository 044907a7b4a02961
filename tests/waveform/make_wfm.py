#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes reference waveform files (":WFM#001".."#003") for the reader tests, laid out from the
field table of the instrument maker's published "Reference Waveform File Format" description,
independently of the program's reader: numpy places every field from the list below, so no
offset is written down by hand. Also writes what each file holds, for the tests to compare.

Usage: make_wfm.py OUTDIR
  OUTDIR/<name>.wfm   the files
  OUTDIR/expected.txt "FILE <name> FRAMES <n>" then per frame "FRAME <k> POINTS <m>" and m
                      lines "x y" (seconds, volts), %.17g
"""
import sys
from pathlib import Path

try:
    import numpy as np
except ImportError:  # the tests that need the files skip
    print("make_wfm.py: numpy fehlt, keine Testdateien")
    sys.exit(0)

# --- the published field table ---------------------------------------------------------------

STATIC = [
    ("byte_order", "u2"), ("version", "S8"), ("digits_in_byte_count", "u1"),
    ("bytes_to_eof", "i4"), ("bytes_per_point", "u1"), ("curve_buffer_offset", "i4"),
    ("hzoom_scale", "i4"), ("hzoom_position", "f4"), ("vzoom_scale", "f8"),
    ("vzoom_position", "f4"), ("label", "S32"), ("frames_minus_one", "u4"),
    ("header_size", "u2"),
]


def waveform_header(version):
    fields = [
        ("set_type", "i4"), ("wfm_count", "u4"), ("acquisition_counter", "u8"),
        ("transaction_counter", "u8"), ("slot_id", "i4"), ("is_static", "i4"),
        ("update_spec_count", "u4"), ("imp_dim_ref_count", "u4"), ("exp_dim_ref_count", "u4"),
        ("data_type", "i4"), ("general_counter", "u8"), ("accumulated_count", "u4"),
        ("target_accumulation", "u4"), ("curve_ref_count", "u4"), ("frames_requested", "u4"),
        ("frames_acquired", "u4"),
    ]
    if version >= 2:
        fields.append(("summary_frame_type", "u2"))  # not in version 1
    fields += [("pixmap_format", "i4"), ("pixmap_max", "u8")]
    return fields


def density(version):
    return "f8" if version >= 3 else "u4"


def explicit_dim(version):
    return [
        ("scale", "f8"), ("offset", "f8"), ("size", "u4"), ("units", "S20"),
        ("extent_min", "f8"), ("extent_max", "f8"), ("resolution", "f8"), ("ref_point", "f8"),
        ("format", "i4"), ("storage", "i4"), ("n_value", "i4"), ("over_range", "i4"),
        ("under_range", "i4"), ("high_range", "i4"), ("low_range", "i4"),
        ("user_scale", "f8"), ("user_units", "S20"), ("user_offset", "f8"),
        ("point_density", density(version)), ("href", "f8"), ("trig_delay", "f8"),
    ]


def implicit_dim(version):
    return [
        ("scale", "f8"), ("offset", "f8"), ("size", "u4"), ("units", "S20"),
        ("extent_min", "f8"), ("extent_max", "f8"), ("resolution", "f8"), ("ref_point", "f8"),
        ("spacing", "u4"), ("user_scale", "f8"), ("user_units", "S20"), ("user_offset", "f8"),
        ("point_density", density(version)), ("href", "f8"), ("trig_delay", "f8"),
    ]


TIME_BASE = [("real_point_spacing", "u4"), ("sweep", "i4"), ("base_type", "i4")]
UPDATE_SPEC = [("real_point_offset", "u4"), ("tt_offset", "f8"), ("frac_sec", "f8"),
               ("gmt_sec", "i4")]
CURVE_INFO = [("state_flags", "u4"), ("checksum_type", "i4"), ("checksum", "i2"),
              ("precharge_start", "u4"), ("data_start", "u4"), ("postcharge_start", "u4"),
              ("postcharge_stop", "u4"), ("end_of_curve", "u4")]


def with_order(fields, order):
    return np.dtype([(n, order + t if t[0] != "S" else t) for n, t in fields])


def header_dtype(version, order):
    parts = [("static", STATIC), ("wfm", waveform_header(version)),
             ("exp1", explicit_dim(version)), ("exp2", explicit_dim(version)),
             ("imp1", implicit_dim(version)), ("imp2", implicit_dim(version)),
             ("tb1", TIME_BASE), ("tb2", TIME_BASE), ("update", UPDATE_SPEC),
             ("curve", CURVE_INFO)]
    return np.dtype([(name, with_order(fields, order)) for name, fields in parts])


# Sample format codes of the explicit dimension.
FORMATS = {0: "i2", 1: "i4", 4: "f4", 5: "f8", 7: "i1"}


# --- the files -------------------------------------------------------------------------------

def make(version, big, fmt, frames, v_scale, v_offset, h_scale, h_offset, fractions, pre=3,
         post=2):
    """`frames`: one list of raw levels per frame (all of one length)."""
    order = ">" if big else "<"
    hd = header_dtype(version, order)
    upd = with_order(UPDATE_SPEC, order)
    cin = with_order(CURVE_INFO, order)
    sample = np.dtype(order + FORMATS[fmt])
    n = len(frames[0])
    frame_bytes = (pre + n + post) * sample.itemsize

    h = np.zeros((), dtype=hd)
    s = h["static"]
    s["byte_order"] = 0x0F0F if not big else 0xF0F0
    s["version"] = b":WFM#%03d" % version
    s["digits_in_byte_count"] = 7
    s["bytes_per_point"] = sample.itemsize
    extra = (len(frames) - 1) * (upd.itemsize + cin.itemsize)
    s["curve_buffer_offset"] = hd.itemsize + extra
    s["frames_minus_one"] = len(frames) - 1
    s["header_size"] = hd.itemsize - 78
    w = h["wfm"]
    w["set_type"] = 1 if len(frames) > 1 else 0
    w["wfm_count"] = 1
    w["imp_dim_ref_count"] = w["exp_dim_ref_count"] = w["curve_ref_count"] = 1
    w["data_type"] = 2  # a vector: a curve
    w["frames_requested"] = w["frames_acquired"] = len(frames)
    h["exp1"]["scale"], h["exp1"]["offset"], h["exp1"]["format"] = v_scale, v_offset, fmt
    h["exp1"]["units"] = b"V"
    h["imp1"]["scale"], h["imp1"]["offset"] = h_scale, h_offset
    h["imp1"]["units"] = b"s"
    h["imp1"]["size"] = n
    h["update"]["tt_offset"] = fractions[0]
    c = h["curve"]
    c["precharge_start"] = 0
    c["data_start"] = pre * sample.itemsize
    c["postcharge_start"] = (pre + n) * sample.itemsize
    c["postcharge_stop"] = c["end_of_curve"] = frame_bytes

    blob = h.tobytes()
    for k in range(1, len(frames)):
        u = np.zeros((), dtype=upd)
        u["tt_offset"] = fractions[k]
        blob += u.tobytes()
    blob += np.zeros(len(frames) - 1, dtype=cin).tobytes()
    for levels in frames:
        blob += bytes([0x55]) * (pre * sample.itemsize)
        blob += np.asarray(levels, dtype=sample).tobytes()
        blob += bytes([0xAA]) * (post * sample.itemsize)
    blob += np.zeros(1, dtype=order + "u8").tobytes()  # the file checksum

    expected = []
    for k, levels in enumerate(frames):
        x = h_offset + (np.arange(n) + fractions[k]) * h_scale
        y = np.asarray(levels, dtype=np.float64) * v_scale + v_offset
        expected.append(list(zip(x, y)))
    return blob, expected


CASES = {
    "v1_le_int16": dict(version=1, big=False, fmt=0, frames=[[-100, -1, 0, 1, 50, 32000]],
                        v_scale=0.01, v_offset=0.5, h_scale=2e-9, h_offset=-1e-6,
                        fractions=[0.25]),
    "v1_be_int32": dict(version=1, big=True, fmt=1, frames=[[70000, -3, 12, -70000]],
                        v_scale=1e-4, v_offset=-0.25, h_scale=1e-3, h_offset=0.0,
                        fractions=[0.0]),
    "v1_le_frames": dict(version=1, big=False, fmt=0,
                         frames=[[1, 2, 3, 4], [10, 20, 30, 40], [-5, -6, -7, -8]],
                         v_scale=0.5, v_offset=1.0, h_scale=1e-6, h_offset=-2e-6,
                         fractions=[0.5, 0.25, 0.75]),
    "v2_le_int8": dict(version=2, big=False, fmt=7, frames=[[-128, -1, 0, 127, 5]],
                       v_scale=0.04, v_offset=0.0, h_scale=4e-4, h_offset=-1e-3,
                       fractions=[0.5]),
    "v2_be_frames": dict(version=2, big=True, fmt=0, frames=[[100, 200], [300, 400]],
                         v_scale=1e-3, v_offset=0.0, h_scale=1e-9, h_offset=5e-9,
                         fractions=[0.0, 0.5]),
    "v3_le_frames_float": dict(version=3, big=False, fmt=4,
                               frames=[[0.5, -0.25, 1.0], [2.0, 4.0, 8.0]], v_scale=1.0,
                               v_offset=0.0, h_scale=1e-3, h_offset=0.0,
                               fractions=[0.0, 0.125]),
}


def main(out):
    out = Path(out)
    out.mkdir(parents=True, exist_ok=True)
    lines = []
    for name, case in CASES.items():
        blob, expected = make(**case)
        (out / (name + ".wfm")).write_bytes(blob)
        lines.append("FILE %s FRAMES %d" % (name, len(expected)))
        for k, points in enumerate(expected):
            lines.append("FRAME %d POINTS %d" % (k, len(points)))
            lines += ["%.17g %.17g" % (x, y) for x, y in points]
    (out / "expected.txt").write_text("\n".join(lines) + "\n")


if __name__ == "__main__":
    main(sys.argv[1])
