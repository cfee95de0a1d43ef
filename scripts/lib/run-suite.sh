# Runs inside the private network namespace: brings up loopback, starts the
# services the tests need, runs CTest and stops everything it started.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
build="$1"

ip link set lo up
make_runtime_dir

started_pids=()
cleanup() {
  for pid in "${started_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${started_pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$XDG_RUNTIME_DIR"
}
trap cleanup EXIT

# No test may look up a STUN server.
export MOONLODGE_STUN_URL=""

ctest --test-dir "$build" --output-on-failure -j2
