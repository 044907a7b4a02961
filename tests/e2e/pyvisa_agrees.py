#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""An independent client agrees with the simulated instrument and with `ktx receive`.

PyVISA with its pure-Python backend opens the simulator's socket server, reads the
identification and a binary curve; `ktx` then reads the same curve through its TCP interface
library. Both must see the same samples.

Usage: pyvisa_agrees.py KTX_SIM KTX WORKDIR        (exit 77: PyVISA missing, test skipped)
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

POINTS = 200_000


def main():
    sim_path, ktx_path, work = sys.argv[1:4]
    sim = subprocess.Popen([sim_path, "--tcp", "127.0.0.1:0", "--exit-on-stdin-eof",
                            "--record-length", str(POINTS), "--seed", "7"],
                           stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    try:
        line = sim.stdout.readline().strip()
        assert line.startswith("LISTEN "), line
        host, port = line.split()[1].rsplit(":", 1)

        rm = pyvisa.ResourceManager("@py")
        inst = rm.open_resource(f"TCPIP::{host}::{port}::SOCKET", read_termination="\n",
                                write_termination="\n", timeout=10000)
        idn = inst.query("*IDN?").strip()
        assert "," in idn, idn
        for cmd in ("ACQ:STATE STOP", "HEADER OFF", "DATA:SOURCE CH1", "DATA:ENC RIB",
                    "DATA:WID 2", "DATA:START 1", f"DATA:STOP {POINTS}"):
            inst.write(cmd)
        visa_values = inst.query_binary_values("CURV?", datatype="h", is_big_endian=True,
                                               container=list)
        inst.close()
        assert len(visa_values) == POINTS, len(visa_values)

        link = ["--link", f"tcp:{host}:{port}"]
        ident = subprocess.run([ktx_path, "idn", *link], capture_output=True, text=True)
        assert ident.returncode == 0, ident.stderr
        assert ident.stdout.strip() == idn, (ident.stdout, idn)

        target = os.path.join(work, "curve.bin")
        run = subprocess.run([ktx_path, "receive", "CURV?", target, *link],
                             capture_output=True, text=True)
        assert run.returncode == 0, run.stderr
        data = open(target, "rb").read()
        hash_at = data.index(b"#")
        digits = int(data[hash_at + 1:hash_at + 2])
        length = int(data[hash_at + 2:hash_at + 2 + digits])
        block = data[hash_at + 2 + digits:hash_at + 2 + digits + length]
        assert length == 2 * POINTS and len(block) == length, (length, len(block))
        ktx_values = list(struct.unpack(f">{POINTS}h", block))
        assert ktx_values == visa_values, "samples differ"
        print(f"PyVISA and ktx agree on {POINTS} samples; {idn}")
    finally:
        sim.stdin.close()
        try:
            sim.wait(timeout=10)
        except subprocess.TimeoutExpired:
            sim.kill()


if __name__ == "__main__":
    main()
