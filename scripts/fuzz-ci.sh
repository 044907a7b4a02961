#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the libFuzzer targets with clang and runs each of fuzz/targets.tsv for a short time
# (FUZZ_SECONDS, default 25) from its seeds. Any finding (crash, sanitizer report, leak,
# time-out, memory blow-up) fails the run after all targets ran, with the reproducer printed
# as a hexdump and the command that replays it.
#
#   FUZZ_BUILD=build-fuzz  FUZZ_SECONDS=25  FUZZ_ONLY="fuzz_pcx fuzz_png"  scripts/fuzz-ci.sh
set -euo pipefail
cd "$(dirname "$0")/.."

build=${FUZZ_BUILD:-build-fuzz}
seconds=${FUZZ_SECONDS:-25}
shared=${KTX_SHARED_CORPUS:-../shared/corpus}
table=fuzz/targets.tsv

mapfile -t rows < <(grep -v '^[[:space:]]*#' "$table" | grep -v '^[[:space:]]*$')
targets=()
for row in "${rows[@]}"; do
    read -r target _ <<<"$row"
    if [ -n "${FUZZ_ONLY:-}" ] && [[ " $FUZZ_ONLY " != *" $target "* ]]; then
        continue
    fi
    targets+=("$target")
done

start=$(date +%s)
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKTX_FUZZ=ON -DKTX_BUILD_TESTS=OFF -DKTX_BUILD_BENCH=OFF ${CMAKE_FLAGS:-} >/dev/null
cmake --build "$build" -j 2 --target "${targets[@]}"
built=$(date +%s)
echo "Fuzz-Ziele gebaut in $((built - start)) s"

failed=()
for row in "${rows[@]}"; do
    read -r target seedList <<<"$row"
    [[ " ${targets[*]} " == *" $target "* ]] || continue
    seeds=()
    for s in $seedList; do
        if [[ $s == shared:* ]]; then
            s="$shared/${s#shared:}"
        fi
        [ -d "$s" ] && seeds+=("$s")
    done
    # New inputs go into the build tree (first folder), never into the repository's seeds.
    work="$build/fuzz-work/$target"
    artifacts="$build/fuzz-findings/$target"
    rm -rf "$artifacts"
    mkdir -p "$work" "$artifacts"
    log="$build/fuzz-findings/$target.log"
    echo "== $target: ${seconds} s, Seeds: ${seeds[*]:-(keine)}"
    if "$build/fuzz/$target" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
        -artifact_prefix="$artifacts/" -print_final_stats=1 "$work" "${seeds[@]}" >"$log" 2>&1; then
        grep -E '^stat::number_of_executed_units|^Done ' "$log" | tail -n 2 || true
        continue
    fi
    failed+=("$target")
    echo "!! $target hat einen Fehler gefunden:"
    grep -E 'ERROR|SUMMARY|runtime error|==[0-9]+==' "$log" | head -n 20 || true
    tail -n 40 "$log"
    for f in "$artifacts"/*; do
        [ -f "$f" ] || continue
        echo "-- Reproduktion: $build/fuzz/$target $f   ($(stat -c %s "$f") Bytes)"
        od -A x -t x1z -v "$f" | head -n 256
    done
done

echo "Fuzzing fertig in $(($(date +%s) - start)) s"
if [ ${#failed[@]} -ne 0 ]; then
    echo "Fuzzing hat Fehler gefunden in: ${failed[*]}" >&2
    exit 1
fi
