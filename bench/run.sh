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
# A low-latency virtual microphone: the monitor of a null sink that the
# latency benchmark plays into with 5 ms buffers.
pactl load-module module-null-sink sink_name=vmic_feed_a rate=48000 channels=1 >/dev/null
pactl load-module module-remap-source master=vmic_feed_a.monitor source_name=vmic_low_a >/dev/null
parec -d vmic_feed_a.monitor --latency-msec=10 >/dev/null &
started_pids+=("$!")
# A room for the echo benchmark: what speaker vspk_c plays reaches the
# microphone vmic_echo through a loopback.
pactl load-module module-null-sink sink_name=vecho_room rate=48000 channels=1 >/dev/null
pactl load-module module-loopback source=vspk_c.monitor sink=vecho_room latency_msec=20 >/dev/null
pactl load-module module-remap-source master=vecho_room.monitor source_name=vmic_echo >/dev/null
parec -d vecho_room.monitor --latency-msec=10 >/dev/null &
started_pids+=("$!")

# MOONLODGE_BENCH_ONLY="bench_voice_cpu ..." runs only the benchmarks named.
run_benchmark() {
  if [ -n "${MOONLODGE_BENCH_ONLY:-}" ] && [[ " $MOONLODGE_BENCH_ONLY " != *" $1 "* ]]; then return 0; fi
  "$build/bench/$1"
}

run_benchmark bench_voice_playout
[ -n "${MOONLODGE_BENCH_SKIP_LATENCY:-}" ] || run_benchmark bench_voice_latency
run_benchmark bench_voice_stall
run_benchmark bench_voice_cpu
run_benchmark bench_voice_flood
run_benchmark bench_echo
run_benchmark bench_push_to_talk
