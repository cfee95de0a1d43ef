#!/usr/bin/env bash
# Idle CPU of the client per page under Xvfb, against a fresh dev server on
# loopback: prints "<page> <percent of one core>" for each page after letting it
# sit for SECONDS (default 10).
# Usage: bench/idle_cpu.sh [SECONDS] [PAGE...]   (default pages: home chat profile)
# MOONLODGE_BUILD_DIR picks the build folder (default build/).
set -euo pipefail
source "$(dirname "$0")/../scripts/lib/common.sh"

build_client >/dev/null
make_runtime_dir
data_dir=$(mktemp -d)
display=":$((200 + RANDOM % 100))"
Xvfb "$display" -screen 0 1600x1000x24 -nolisten tcp &
xvfb_pid=$!
start_dev_server --port 0 --data "$data_dir" 2>/dev/null
trap 'kill $server_pid $xvfb_pid 2>/dev/null; rm -rf "$XDG_RUNTIME_DIR" "$data_dir"' EXIT
sleep 0.5

echo "# idle CPU, percent of one core ($(nproc) cores available)"
DISPLAY="$display" MOONLODGE_BASE_URL="$server_url" MOONLODGE_STUN_URL="" \
  XDG_CONFIG_HOME="$XDG_RUNTIME_DIR/config" \
  "$build/bench/bench_idle_cpu" "$@" 2>/dev/null
