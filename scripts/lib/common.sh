# Shared by the scripts: paths and the build.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build="${MOONLODGE_BUILD_DIR:-$root/build}"
python=/usr/bin/python3   # Debian's Python: the one that sees python3-aiohttp and python3-socketio

# Configures and builds the given targets, or everything without arguments.
build_client() {
  # Paths relative to the checkout, so that other checkouts share the compiler cache.
  export CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=1
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  local targets=()
  [ $# -eq 0 ] || targets=(--target "$@")
  cmake --build "$build" "${targets[@]}"
}

# A private 0700 runtime folder, so Qt and libpulse leave /tmp alone.
make_runtime_dir() {
  XDG_RUNTIME_DIR=$(mktemp -d "${TMPDIR:-/tmp}/moonlodge-run.XXXXXX")
  chmod 700 "$XDG_RUNTIME_DIR"
  export XDG_RUNTIME_DIR
}

# Starts the dev server in the background; sets server_pid and server_url.
start_dev_server() {
  local ready_file
  ready_file=$(mktemp)
  "$python" "$root/devserver/run.py" "$@" >"$ready_file" &
  server_pid=$!
  for _ in $(seq 1 100); do
    server_url=$(sed -n 's/^MOONLODGE_DEVSERVER_READY //p' "$ready_file")
    [ -n "$server_url" ] && break
    kill -0 "$server_pid" 2>/dev/null || { echo "dev server failed to start" >&2; return 1; }
    sleep 0.1
  done
  rm -f "$ready_file"
  [ -n "$server_url" ] || { echo "dev server did not become ready" >&2; return 1; }
}
