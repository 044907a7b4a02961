#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""PyVISA's own VXI-11 client agrees with `ktx` over the VXI-11 interface library.

ktx-sim serves the simulated instrument over VXI-11 with its port mapper on port 111. PyVISA
with its pure-Python backend, which implements the port mapper query, create_link,
device_write and device_read itself, opens TCPIP::127.0.0.1::INSTR, stops the acquisition and
reads the identification, the preamble of channel 1 and a 1 000 000-point two-byte curve.
`ktx idn` and `ktx receive` then read the same through ktx_vxi.so (told the core channel's
port, so it does not depend on the port mapper): the identification must be equal, and the
files `ktx receive` stores must hold the same preamble text and the same samples.

Usage: pyvisa_vxi11_agrees.py KTX_SIM KTX WORKDIR
Exit 77 (skipped): PyVISA is missing, or port 111 could not be had for the port mapper.
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

POINTS = 1_000_000


def receive(ktx, link, command, target):
    run = subprocess.run([ktx, "receive", command, target, "--link", link,
                          "--timeout", "10000"], capture_output=True, text=True)
    assert run.returncode == 0, run.stderr
    with open(target, "rb") as f:
        return f.read()


def main():
    sim_path, ktx_path, work = sys.argv[1:4]
    sim = subprocess.Popen([sim_path, "--vxi11", "127.0.0.1:0", "--exit-on-stdin-eof",
                            "--record-length", str(POINTS), "--seed", "5"],
                           stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    try:
        line = sim.stdout.readline().strip()
        assert line.startswith("VXI11 "), line
        core_port = line.split()[1].rsplit(":", 1)[1]
        if not line.endswith("PORTMAPPER 111"):
            print("Port 111 ist belegt (rpcbind oder ein anderer Simulator): PyVISA findet den "
                  "Simulator nicht über den Portmapper, Test übersprungen")
            sys.exit(77)

        rm = pyvisa.ResourceManager("@py")
        inst = rm.open_resource("TCPIP::127.0.0.1::INSTR", read_termination="\n",
                                write_termination="\n", timeout=20000)
        idn = inst.query("*IDN?").strip()
        assert "," in idn, idn
        for cmd in ("ACQ:STATE STOP", "HEADER OFF", "DATA:SOURCE CH1", "DATA:ENC RIB",
                    "DATA:WID 2", "DATA:START 1", f"DATA:STOP {POINTS}"):
            inst.write(cmd)
        preamble = inst.query("WFMPRE:CH1?").strip()
        visa_values = inst.query_binary_values("CURV?", datatype="h", is_big_endian=True,
                                               container=list)
        inst.close()
        assert len(visa_values) == POINTS, len(visa_values)
        assert f";{POINTS};" in preamble, preamble

        link = f"vxi11:127.0.0.1:{core_port}"
        ident = subprocess.run([ktx_path, "idn", "--link", link], capture_output=True,
                               text=True)
        assert ident.returncode == 0, ident.stderr
        assert ident.stdout.strip() == idn, (ident.stdout, idn)

        stored = receive(ktx_path, link, "WFMPRE:CH1?", os.path.join(work, "vxi_preamble.txt"))
        assert stored.decode("latin-1").strip() == preamble, (stored, preamble)

        data = receive(ktx_path, link, "CURV?", os.path.join(work, "vxi_curve.bin"))
        hash_at = data.index(b"#")
        digits = int(data[hash_at + 1:hash_at + 2])
        length = int(data[hash_at + 2:hash_at + 2 + digits])
        block = data[hash_at + 2 + digits:hash_at + 2 + digits + length]
        assert length == 2 * POINTS and len(block) == length, (length, len(block))
        ktx_values = list(struct.unpack(f">{POINTS}h", block))
        assert ktx_values == visa_values, "samples differ"
        print(f"PyVISA (VXI-11) and ktx agree: {idn}; preamble; {POINTS} samples")
    finally:
        sim.stdin.close()
        try:
            sim.wait(timeout=10)
        except subprocess.TimeoutExpired:
            sim.kill()


if __name__ == "__main__":
    main()
