#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""`ktx read` stores the curve an independent client reads and scales itself.

PyVISA with its pure-Python backend opens the simulator's socket server, stops the
acquisition, reads channel 1 as a binary curve and its preamble, and scales every point itself:
x = (i - PT_OFF) * XINCR with i counted from 1, y = (v - YOFF) * YMULT. `ktx read CH1 out.ktx`
then reads the same acquisition through its TCP interface library while PyVISA still holds its
connection, as a script on a lab PC would; PyVISA is served again afterwards. Every point of
the .ktx file must agree within the precision of its fields: the 6-byte real of y (39 fraction
bits) and the single-precision seconds of x.

Usage: pyvisa_read_agrees.py KTX_SIM KTX WORKDIR   (exit 77: PyVISA missing, test skipped)
"""
import os
import struct
import subprocess
import sys

try:
    import pyvisa
except ImportError:
    print("PyVISA fehlt, Test übersprungen")
    sys.exit(77)

POINTS = 20_000
RECORD = 12  # one-column .ktx: 6-byte time field, 6-byte real


def real6(b):
    """The 6-byte real: exponent biased by 129 (0 = zero), 39 fraction bits, sign on top."""
    if b[0] == 0:
        return 0.0
    field = int.from_bytes(b[1:6], "little")
    sign = -1.0 if field >> 39 else 1.0
    fraction = field & ((1 << 39) - 1)
    return sign * (1.0 + fraction / 2.0**39) * 2.0 ** (b[0] - 129)


def seconds(b):
    hours, minutes = b[0], b[1]
    return hours * 3600 + minutes * 60 + struct.unpack("<f", b[2:6])[0]


def main():
    sim_path, ktx_path, work = sys.argv[1:4]
    sim = subprocess.Popen([sim_path, "--tcp", "127.0.0.1:0", "--exit-on-stdin-eof",
                            "--record-length", str(POINTS), "--seed", "11"],
                           stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    try:
        line = sim.stdout.readline().strip()
        assert line.startswith("LISTEN "), line
        host, port = line.split()[1].rsplit(":", 1)

        rm = pyvisa.ResourceManager("@py")
        inst = rm.open_resource(f"TCPIP::{host}::{port}::SOCKET", read_termination="\n",
                                write_termination="\n", timeout=10000)
        # Stopped, the instrument keeps this acquisition for ktx, which then leaves it stopped.
        for cmd in ("ACQ:STATE STOP", "HEADER OFF", "DATA:SOURCE CH1", "DATA:ENC RIB",
                    "DATA:WID 2", "DATA:START 1", f"DATA:STOP {POINTS}"):
            inst.write(cmd)
        levels = inst.query_binary_values("CURV?", datatype="h", is_big_endian=True,
                                           container=list)
        yoff = float(inst.query("WFMPRE:CH1:YOFF?"))
        ymult = float(inst.query("WFMPRE:CH1:YMULT?"))
        xincr = float(inst.query("WFMPRE:CH1:XINCR?"))
        pt_off = float(inst.query("WFMPRE:CH1:PT_OFF?"))
        assert len(levels) == POINTS, len(levels)

        target = os.path.join(work, "pyvisa_read.ktx")
        run = subprocess.run([ktx_path, "read", "CH1", target, "--link", f"tcp:{host}:{port}",
                              "--start", "0", "--stop", str(POINTS)],
                             capture_output=True, text=True)
        assert run.returncode == 0, run.stderr
        assert run.stderr == "", run.stderr
        # The connection PyVISA kept open through all of it still works.
        assert inst.query("*IDN?").startswith("TEKTRONIX,"), "PyVISA lost its connection"
        inst.close()

        data = open(target, "rb").read()
        assert data[0:2] == b"\x21\x16", data[0:2]
        assert data[6:8] == b"V\x00", data[6:12]
        assert len(data) == RECORD * (POINTS + 1), len(data)
        worst_y = worst_x = 0.0
        for i in range(1, POINTS + 1):
            rec = data[RECORD * i:RECORD * (i + 1)]
            x_ref = (i - pt_off) * xincr
            y_ref = (levels[i - 1] - yoff) * ymult
            x, y = seconds(rec[0:6]), real6(rec[6:12])
            # y passes through three 6-byte reals (YOFF, YMULT, the result): a few units of 2^-39.
            y_tol = 2.0**-36 * (abs(y_ref) + abs(yoff * ymult)) + 1e-300
            x_tol = 2.0**-23 * abs(x_ref) + 2.0**-36 * abs(pt_off * xincr) + 1e-300
            assert abs(y - y_ref) <= y_tol, (i, y, y_ref)
            assert abs(x - x_ref) <= x_tol, (i, x, x_ref)
            worst_y = max(worst_y, abs(y - y_ref))
            worst_x = max(worst_x, abs(x - x_ref))
        print(f"PyVISA and ktx read agree on {POINTS} points "
              f"(largest deviation y {worst_y:.3g} V, x {worst_x:.3g} s)")
    finally:
        sim.stdin.close()
        try:
            sim.wait(timeout=10)
        except subprocess.TimeoutExpired:
            sim.kill()


if __name__ == "__main__":
    main()
