#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""What `ktx export --format npy` and `ktx read --format npy` write, numpy.load reads directly,
and every value equals what `ktx dump` prints for the same waveform file (x and y at full
precision). A target that is its own source, or a source that is no waveform file, leaves no
.npy file behind.

Usage: numpy_export_agrees.py KTX_SIM KTX CORPUS WORKDIR   (exit 77: numpy missing, skipped)
"""
import os
import shutil
import subprocess
import sys

try:
    import numpy
except ImportError:
    print("numpy fehlt, Test übersprungen")
    sys.exit(77)


def run(ktx, *args, ok=True):
    r = subprocess.run([ktx, *args], capture_output=True, text=True, timeout=60)
    if ok and r.returncode != 0:
        raise AssertionError(f"ktx {' '.join(args)}: {r.returncode} {r.stderr}")
    return r


def dump(ktx, path):
    rows = [line.split("\t") for line in run(ktx, "dump", path).stdout.splitlines()]
    return numpy.array([float(x) for x, _ in rows]), numpy.array([float(y) for _, y in rows])


def agrees(ktx, source, npy):
    a = numpy.load(npy)
    assert a.dtype.names == ("time", "ch1"), a.dtype
    assert a.dtype["time"] == numpy.float64 and a.ndim == 1
    x, y = dump(ktx, source)
    assert len(a) == len(x) > 0, (len(a), len(x))
    # dump prints 17 significant digits: the round trip to float64 is exact.
    assert numpy.array_equal(a["time"], x), source
    assert numpy.array_equal(a["ch1"], y), source
    return len(a)


def main():
    sim_path, ktx, corpus, work = sys.argv[1:5]
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    for name in ("isf/data1.isf", "isf/TEK00000.ISF", "csv/tek0001CH1.csv", "wfm/sample_1.wfm"):
        source = os.path.join(work, os.path.basename(name) + ".ktx")
        run(ktx, "import", os.path.join(corpus, name), source)
        npy = source + ".npy"
        run(ktx, "export", source, npy, "--format", "npy")
        print(name, agrees(ktx, source, npy), "Punkte")

    # Straight from the simulated instrument: one file per source, like .ktx.
    link = ["--link", "sim", "--type", "9"]
    base = os.path.join(work, "sim.npy")
    run(ktx, "read", "CH1", "CH2", base, "--format", "npy", "--start", "1", "--stop", "5000",
        *link)
    for ch in ("CH1", "CH2"):
        npy = os.path.join(work, f"sim_{ch}.npy")
        ktx_file = os.path.join(work, f"sim_{ch}.ktx")
        run(ktx, "import", npy, ktx_file, ok=False)  # not a waveform format: no file
        assert not os.path.exists(ktx_file)
        # The same curve read as .ktx gives the same numbers (the simulator is stopped by
        # the read and keeps its acquisition).
        run(ktx, "read", ch, ktx_file, "--format", "ktx", "--start", "1", "--stop", "5000",
            *link)
        print(ch, agrees(ktx, ktx_file, npy), "Punkte")

    # Refusals leave nothing behind and keep the source.
    source = os.path.join(work, "data1.isf.ktx")
    before = open(source, "rb").read()
    assert run(ktx, "export", source, source, "--format", "npy", ok=False).returncode != 0
    assert open(source, "rb").read() == before
    bad = os.path.join(work, "bad.ktx")
    with open(bad, "wb") as f:
        f.write(b"no waveform")
    out = os.path.join(work, "bad.npy")
    assert run(ktx, "export", bad, out, "--format", "npy", ok=False).returncode != 0
    assert not os.path.exists(out)
    print("ok")


if __name__ == "__main__":
    main()
