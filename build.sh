#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Entry point of the quick start: installs what is missing (Debian packages, make included),
# then runs the Makefile target, e.g. `./build.sh run` or `./build.sh test`.
set -euo pipefail
cd "$(dirname "$0")"
bash scripts/install-deps.sh
exec make "${@:-build}"
