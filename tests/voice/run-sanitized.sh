#!/usr/bin/env bash
# Builds the voice engine's tests with AddressSanitizer, LeakSanitizer and
# UBSan in a build folder of their own and runs them in the test environment
# (loopback-only namespace, test PulseAudio).   Usage: tests/voice/run-sanitized.sh [build folder]
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib/common.sh"
source "$root/scripts/lib/test-env.sh"
build="${1:-$root/build-asan}"
if [ -z "${MOONLODGE_IN_PRIVATE_NETWORK:-}" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-omit-frame-pointer" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
  cmake --build "$build" --target tst_VoiceSignaling tst_VoiceAudio tst_GstVoicePeerConnection
  build=$(cd "$build" && pwd)
  reexec_in_private_network "$0" "$build"
fi

prepare_test_environment
export QT_QPA_PLATFORM=offscreen
start_pulseaudio

# Full stacks (GLib has no frame pointers), so suppressions can name functions.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:halt_on_error=1:fast_unwind_on_malloc=0"
export LSAN_OPTIONS="suppressions=$root/tests/voice/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
status=0
for test in tst_VoiceSignaling tst_VoiceAudio tst_GstVoicePeerConnection; do
  echo "== $test"
  "$build/tests/$test" -maxwarnings 0 2>&1 | grep -vE '^QDEBUG|^QWARN|^QINFO' || status=1
  [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
done
exit $status
