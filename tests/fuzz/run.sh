#!/usr/bin/env bash
# Builds the frame fuzzer with clang's libFuzzer and runs it for a few seconds
# over the seed corpus. Usage: tests/fuzz/run.sh BUILD_DIR [SECONDS]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
src="$here/../../src"
out="$1/fuzz"
seconds="${2:-10}"
mkdir -p "$out/corpus"

qt_flags=$(pkg-config --cflags --libs Qt6Core Qt6Network Qt6WebSockets)
/usr/lib/qt6/libexec/moc "$src/realtime/RealtimeChannel.h" -o "$out/moc_RealtimeChannel.cpp"
clang++-14 -std=c++17 -g -O1 -fPIC -fsanitize=fuzzer,address,undefined \
  -DMOONLODGE_DEFAULT_BASE_URL='"http://127.0.0.1:9"' -I"$src" \
  "$here/fuzz_realtime_frames.cpp" "$src/realtime/RealtimeChannel.cpp" "$src/realtime/ReconnectBackoff.cpp" "$src/session/ServerEndpoints.cpp" \
  "$src/app/LogCategories.cpp" \
  "$out/moc_RealtimeChannel.cpp" $qt_flags -o "$out/fuzz_realtime_frames"

cp -n "$here/corpus/"* "$out/corpus/" 2>/dev/null || true
ASAN_OPTIONS=detect_leaks=1 "$out/fuzz_realtime_frames" -max_total_time="$seconds" -max_len=4096 \
  -timeout=5 "$out/corpus" "$here/corpus"
