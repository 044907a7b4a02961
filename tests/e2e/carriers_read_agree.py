#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""`ktx read` stores the same waveform file over every carrier of the same instrument.

Four simulators with the same seed serve one instrument each: over a raw socket, over
VXI-11, behind an emulated Prologix-style GPIB-ETHERNET adapter and behind an emulated
GPIB-USB adapter on a pseudo-terminal. `ktx read CH1` runs the program's whole waveform
transfer through ktx_tcp.so, ktx_vxi.so and ktx_prologix.so; the .ktx files must be equal
byte for byte, and `ktx hardcopy` must fetch the same BMP screen picture (raw binary with line
feeds and "#" inside) over each.

Usage: carriers_read_agree.py KTX_SIM KTX WORKDIR
"""
import os
import subprocess
import sys

POINTS = 20_000


def start(sim_path, carrier, work):
    address = os.path.join(work, "ttyGPIB") if carrier == "--prologix-pty" else "127.0.0.1:0"
    args = [sim_path, carrier, address, "--exit-on-stdin-eof", "--record-length", str(POINTS),
            "--seed", "11", "--gpib-address", "9"]
    if carrier == "--vxi11":
        args.append("--no-portmapper")
    if carrier == "--tcp":
        args = [a for a in args if a not in ("--gpib-address", "9")]
    sim = subprocess.Popen(args, stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    line = sim.stdout.readline().strip()
    word, where = line.split()[0], line.split()[1]
    port = where.rsplit(":", 1)[-1]
    link = {"LISTEN": f"tcp:127.0.0.1:{port}",
            "VXI11": f"vxi11:127.0.0.1:{port}",
            "PROLOGIX": f"prologix:127.0.0.1:{port}:9",
            "PROLOGIX-PTY": f"prologix:{where}:9"}[word]
    return sim, link


def run(ktx, args):
    done = subprocess.run([ktx, *args, "--timeout", "5000"], capture_output=True)
    assert done.returncode == 0, (args, done.stderr.decode("utf-8", "replace"))


def main():
    sim_path, ktx_path, work = sys.argv[1:4]
    results = {}
    for carrier in ("--tcp", "--vxi11", "--prologix-tcp", "--prologix-pty"):
        sim, link = start(sim_path, carrier, work)
        try:
            name = carrier.strip("-")
            curve = os.path.join(work, f"carrier_{name}.ktx")
            picture = os.path.join(work, f"carrier_{name}.bmp")
            run(ktx_path, ["read", "CH1", curve, "--link", link, "--start", "0",
                           "--stop", str(POINTS)])
            run(ktx_path, ["hardcopy", picture, "--format", "bmp", "--link", link])
            with open(curve, "rb") as f, open(picture, "rb") as g:
                results[carrier] = (f.read(), g.read())
        finally:
            sim.stdin.close()
            try:
                sim.wait(timeout=10)
            except subprocess.TimeoutExpired:
                sim.kill()
    reference_curve, reference_picture = results["--tcp"]
    assert len(reference_curve) == 12 * (POINTS + 1), len(reference_curve)
    assert reference_picture[:2] == b"BM", reference_picture[:2]
    for carrier, (curve, picture) in results.items():
        assert curve == reference_curve, f"{carrier}: the waveform file differs"
        assert picture == reference_picture, f"{carrier}: the screen picture differs"
    print(f"raw socket, VXI-11 and both Prologix adapters agree on {POINTS} points and a "
          f"{len(reference_picture)}-byte picture")


if __name__ == "__main__":
    main()
