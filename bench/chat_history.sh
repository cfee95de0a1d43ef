#!/usr/bin/env bash
# Runs bench_chat_history in the test environment (a private network namespace
# with only loopback, no display).   Usage: bench/chat_history.sh [SIZE...]
set -euo pipefail
source "$(dirname "$0")/../scripts/lib/common.sh"
source "$root/scripts/lib/test-env.sh"
reexec_in_private_network "$0" "$@"

prepare_test_environment
export QT_QPA_PLATFORM=offscreen
"$build/bench/bench_chat_history" "$@"
