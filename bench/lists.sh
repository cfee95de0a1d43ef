#!/usr/bin/env bash
# Runs the list benchmark in a private network namespace with only loopback.
# Usage: bench/lists.sh [build folder] [CASE N]...
set -euo pipefail
source "$(dirname "$0")/../scripts/lib/common.sh"
source "$root/scripts/lib/test-env.sh"
build=$(cd "${1:-$build}" && pwd)
reexec_in_private_network "$0" "$build" "${@:2}"

prepare_test_environment
export QT_QPA_PLATFORM=offscreen
"$build/bench/bench_lists" "${@:2}"
