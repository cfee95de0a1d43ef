#!/usr/bin/env bash
# Runs the voice benchmarks in the same environment as the tests: a private
# network namespace with only loopback and the headless PulseAudio of
# scripts/lib/run-suite.sh.   Usage: bench/run.sh [build folder]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
if [ -z "${MOONLODGE_BENCH_INSIDE:-}" ]; then
  export MOONLODGE_BENCH_INSIDE=1
  if [ "$(id -u)" -eq 0 ]; then exec unshare --net -- "$0" "$build"; fi
  exec unshare --net --map-root-user -- "$0" "$build"
fi

ip link set lo up
export XDG_RUNTIME_DIR=$(mktemp -d "${TMPDIR:-/tmp}/moonlodge-bench.XXXXXX")
chmod 700 "$XDG_RUNTIME_DIR"
export HOME="$XDG_RUNTIME_DIR/home" MOONLODGE_STUN_URL="" QT_QPA_PLATFORM=offscreen
mkdir -p "$HOME"
started_pids=()
cleanup() {
  for pid in "${started_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$XDG_RUNTIME_DIR"
}
trap cleanup EXIT
# The test suite's PulseAudio set-up, taken from the suite runner itself.
eval "$(sed -n '/^start_pulseaudio() {/,/^}/p' "$root/scripts/lib/run-suite.sh")"
start_pulseaudio

[ -n "${MOONLODGE_BENCH_SKIP_LATENCY:-}" ] || "$build/bench/bench_voice_latency"
"$build/bench/bench_voice_cpu"
