#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The soak run, not part of `make test`: builds the soak client and the simulator with
# AddressSanitizer (leak checking on) and UndefinedBehaviorSanitizer in build-asan/, starts
# ktx-sim on a free port and lets kurvitex_soak's clients (8 by default) read waveforms and
# fetch hard copies from it while views open and close. Prints the memory table as it goes;
# fails on any failed exchange, any message, any sanitizer or leak report of either program.
#
#   SOAK_TRANSFERS=10000 SOAK_HARDCOPIES=1000 SOAK_VIEWS=1000 SOAK_CLIENTS=8 scripts/soak.sh
set -euo pipefail
cd "$(dirname "$0")/.."

build=${SOAK_BUILD:-build-asan}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKTX_SANITIZE=ON -DKTX_BUILD_BENCH=OFF \
    ${CMAKE_FLAGS:-} >/dev/null
cmake --build "$build" -j 2 --target kurvitex_soak ktx-sim ktx_tcp ktxconv program_data

work=$(mktemp -d /tmp/ktx-soak.XXXXXX)
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:halt_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

coproc SIM { exec "$build/program/ktx-sim" --tcp 127.0.0.1:0 2>"$work/sim.err"; }
sim_pid=$SIM_PID
read -r announcement <&"${SIM[0]}"
port=${announcement##*:}
echo "ktx-sim (PID $sim_pid) hört auf Port $port"

status=0
"$build/tests/reliability/kurvitex_soak" --port "$port" --sim-pid "$sim_pid" --folder "$work" \
    --transfers "${SOAK_TRANSFERS:-10000}" --hardcopies "${SOAK_HARDCOPIES:-1000}" \
    --views "${SOAK_VIEWS:-1000}" --clients "${SOAK_CLIENTS:-8}" || status=$?

kill -TERM "$sim_pid"
wait "$sim_pid" || { echo "ktx-sim endete mit Status $?" >&2; status=1; }
if [ -s "$work/sim.err" ]; then
    echo "ktx-sim meldete:" >&2
    cat "$work/sim.err" >&2
    status=1
fi
rm -rf "$work"
[ $status -eq 0 ] && echo "Soak bestanden" || echo "Soak fehlgeschlagen" >&2
exit $status
