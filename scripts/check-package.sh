#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks the Debian package `make package` built: extracts it into a scratch root with dpkg -x,
# runs the installed programs from there and, where lintian is installed, lets it judge the
# package (errors fail, warnings are shown).
set -euo pipefail
build=${1:-build}
deb=$(ls -t "$build"/package/kurvitex_*.deb 2>/dev/null | head -n 1)
if [ -z "$deb" ]; then
    echo "check-package: no package in $build/package" >&2
    exit 1
fi
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg -x "$deb" "$root"

version=$("$root/usr/bin/kurvitex" --version)
if [ "$version" != "kurvitex 4.8" ]; then
    echo "check-package: kurvitex --version said '$version'" >&2
    exit 1
fi
# The command line tool finds its shipped instrument definitions in the installed folder.
"$root/usr/bin/ktx" validate "$root"/usr/lib/kurvitex/Driver/kt_*.ini > /dev/null
for f in ktx_tcp.so ktx_serial.so ktx_usbtmc.so ktx_vxi.so ktx_prologix.so ktx_gpib.so ktxconv.so help/index.html \
    kurvitex.ini; do
    if [ ! -e "$root/usr/lib/kurvitex/$f" ]; then
        echo "check-package: $f is missing from the package" >&2
        exit 1
    fi
done
if command -v lintian > /dev/null; then
    lintian --fail-on error "$deb"
fi
echo "check-package: $(basename "$deb") installs and runs ($version)"
