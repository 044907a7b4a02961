#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Lays out an installation medium for kurvitex-setup from a built program folder:
#   scripts/make-medium.sh build/program MEDIUM [--compress]
# Programs, interface libraries, readme.txt and help/ go into the German language folder GER/,
# the rest to the top; with --compress every file is compressed with mscompress (SZDD).
set -euo pipefail
program=${1:?program folder}
medium=${2:?medium folder}
compress=${3:-}
here=$(cd "$(dirname "$0")/.." && pwd)

mkdir -p "$medium/GER"
put() {  # put SOURCE TARGET
    mkdir -p "$(dirname "$2")"
    cp -p "$1" "$2"
    # mscompress spoils files shorter than 16 bytes; those stay plain.
    if [ "$compress" = --compress ] && [ "$(stat -c %s "$2")" -ge 16 ]; then
        mscompress "$2" && mv "$2_" "$2"
    fi
}
cp "$here/packaging/install.txt" "$medium/install.txt"
put "$here/packaging/kurvitex.svg" "$medium/kurvitex.svg"
for f in kurvitex.ini ktxconv.so kurvitex-uninstall; do
    put "$program/$f" "$medium/$f"
done
for f in kurvitex ktx ktx-sim ktx_gpib.so ktx_serial.so ktx_tcp.so ktx_usbtmc.so ktx_vxi.so ktx_prologix.so ktx_sim.so; do
    [ -e "$program/$f" ] && put "$program/$f" "$medium/GER/$f"
done
put "$here/packaging/readme.txt" "$medium/GER/readme.txt"
for d in Driver Demo Application USB_Driver Telecom; do
    if [ -d "$program/$d" ]; then
        find "$program/$d" -maxdepth 2 -type f | while read -r f; do
            put "$f" "$medium/$d/${f#"$program/$d/"}"
        done
    fi
done
find "$program/help" -maxdepth 1 -type f | while read -r f; do
    put "$f" "$medium/GER/help/$(basename "$f")"
done
echo "Installation medium in $medium"
