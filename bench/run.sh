#!/usr/bin/env bash
# Runs the voice benchmarks in the same environment as the tests: a private
# network namespace with only loopback and the headless PulseAudio of
# scripts/lib/run-suite.sh.   Usage: bench/run.sh [build folder]
set -euo pipefail
source "$(dirname "$0")/../scripts/lib/common.sh"
source "$root/scripts/lib/test-env.sh"
build=$(cd "${1:-$build}" && pwd)
reexec_in_private_network "$0" "$build"

prepare_test_environment
export QT_QPA_PLATFORM=offscreen
start_pulseaudio

[ -n "${MOONLODGE_BENCH_SKIP_LATENCY:-}" ] || "$build/bench/bench_voice_latency"
"$build/bench/bench_voice_cpu"
"$build/bench/bench_echo"
"$build/bench/bench_push_to_talk"
