#!/usr/bin/env bash
# Builds the voice engine's tests with AddressSanitizer, LeakSanitizer and
# UBSan in a build folder of their own and runs them in the test environment
# (loopback-only namespace, test PulseAudio).   Usage: tests/voice/run-sanitized.sh [build folder]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build="${1:-$root/build-asan}"
if [ -z "${MOONLODGE_SANITIZED_INSIDE:-}" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-omit-frame-pointer" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
  cmake --build "$build" --target tst_VoiceSignaling tst_VoiceAudio tst_VoiceStress
  export MOONLODGE_SANITIZED_INSIDE=1
  build=$(cd "$build" && pwd)
  if [ "$(id -u)" -eq 0 ]; then exec unshare --net -- "$0" "$build"; fi
  exec unshare --net --map-root-user -- "$0" "$build"
fi

ip link set lo up
export XDG_RUNTIME_DIR=$(mktemp -d "${TMPDIR:-/tmp}/moonlodge-asan.XXXXXX")
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
eval "$(sed -n '/^start_pulseaudio() {/,/^}/p' "$root/scripts/lib/run-suite.sh")"
start_pulseaudio

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$root/tests/voice/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
status=0
for test in tst_VoiceSignaling tst_VoiceAudio tst_VoiceStress; do
  echo "== $test"
  "$build/tests/$test" -maxwarnings 0 2>&1 | grep -vE '^QDEBUG|^QWARN|^QINFO' || status=1
  [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
done
exit $status
