#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""A set-up read by an independent client and sent back by `ktx setup write` restores it.

PyVISA with its pure-Python backend opens the simulator's socket server (type 12), changes some
front-panel settings, reads "SET?" and stores the answer as the instrument sent it (with its
final line feed) in a .set file. It then changes the settings again, so that only the set-up
can bring them back. `ktx setup write` sends the stored file over its TCP interface library,
in groups that must arrive as one message (a command path is longer than one group, a quoted
label holds ";:"). PyVISA, still connected, reads "SET?" again: it must equal the stored
set-up, and "*ESR?" must answer 0 (no command error while the set-up was taken).

Usage: pyvisa_setup_roundtrip.py KTX_SIM KTX WORKDIR   (exit 77: PyVISA missing, test skipped)
"""
import os
import subprocess
import sys

try:
    import pyvisa
except ImportError:
    print("PyVISA fehlt, Test übersprungen")
    sys.exit(77)


def main():
    sim_path, ktx_path, work = sys.argv[1:4]
    sim = subprocess.Popen([sim_path, "--tcp", "127.0.0.1:0", "--exit-on-stdin-eof",
                            "--type", "12", "--seed", "5"],
                           stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    try:
        line = sim.stdout.readline().strip()
        assert line.startswith("LISTEN "), line
        host, port = line.split()[1].rsplit(":", 1)

        rm = pyvisa.ResourceManager("@py")
        inst = rm.open_resource(f"TCPIP::{host}::{port}::SOCKET", read_termination="\n",
                                write_termination="\n", timeout=10000)
        for cmd in ("CH1:SCALE 0.2", "CH2:COUPLING AC", 'MASK:USER:LABEL "Netz;:L1"',
                    "HORIZONTAL:SCALE 2E-6", "SELECT:CH3 1", "DATA:SOURCE CH2"):
            inst.write(cmd)
        assert inst.query("*ESR?").strip() == "0"
        stored = inst.query("SET?")
        assert len(stored) >= 2048, len(stored)
        assert '"Netz;:L1"' in stored, stored[:200]
        path = os.path.join(work, "pyvisa_setup.set")
        with open(path, "wb") as f:
            f.write(stored.encode("latin-1") + b"\n")

        # Other settings, so that only the set-up can bring the stored ones back.
        for cmd in ("*RST", "CH1:SCALE 5", 'MASK:USER:LABEL "anders"', "HORIZONTAL:SCALE 1E-3"):
            inst.write(cmd)
        assert inst.query("SET?") != stored

        run = subprocess.run([ktx_path, "setup", "write", path, "--link", f"tcp:{host}:{port}",
                              "--type", "12"], capture_output=True, text=True)
        assert run.returncode == 0, run.stderr
        assert run.stderr == "", run.stderr

        again = inst.query("SET?")
        assert again == stored, (len(again), len(stored))
        esr = inst.query("*ESR?").strip()
        assert esr == "0", esr
        inst.close()
        print(f"PyVISA reads the set-up ktx sent back unchanged ({len(stored)} characters), "
              "*ESR? 0")
    finally:
        sim.stdin.close()
        try:
            sim.wait(timeout=10)
        except subprocess.TimeoutExpired:
            sim.kill()


if __name__ == "__main__":
    main()
