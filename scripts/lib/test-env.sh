# The test environment, shared by the suite, the benchmarks and the sanitizer
# run: a private network namespace with only loopback, a throwaway runtime
# folder and home, and the services the tests use. Source after common.sh.

# Runs the given command line (normally the calling script itself) again
# inside a new network namespace; returns at once when already inside.
reexec_in_private_network() {
  [ -z "${MOONLODGE_IN_PRIVATE_NETWORK:-}" ] || return 0
  export MOONLODGE_IN_PRIVATE_NETWORK=1
  if [ "$(id -u)" -eq 0 ]; then exec unshare --net -- "$@"; fi
  exec unshare --net --map-root-user -- "$@"
}

# Loopback up, a private runtime folder and home, no display, no STUN; whatever
# the start_* functions start is stopped on exit.
prepare_test_environment() {
  ip link set lo up
  make_runtime_dir
  export HOME="$XDG_RUNTIME_DIR/home"
  mkdir -p "$HOME"
  unset DISPLAY WAYLAND_DISPLAY
  # No test may look up a STUN server.
  export MOONLODGE_STUN_URL=""
  started_pids=()
  trap stop_test_services EXIT
}

stop_test_services() {
  for pid in "${started_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${started_pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$XDG_RUNTIME_DIR"
}

# A private session bus with an unlocked throwaway keyring for the remembered login.
start_keyring() {
  dbus-daemon --session --fork --address="unix:path=$XDG_RUNTIME_DIR/bus" \
    --print-pid=3 3>"$XDG_RUNTIME_DIR/bus.pid"
  export DBUS_SESSION_BUS_ADDRESS="unix:path=$XDG_RUNTIME_DIR/bus"
  started_pids+=("$(cat "$XDG_RUNTIME_DIR/bus.pid")")
  printf %s moonlodge-test | gnome-keyring-daemon --foreground --unlock --components=secrets >/dev/null 2>&1 &
  started_pids+=("$!")
  sleep 0.3
}

# Headless PulseAudio with virtual devices for the voice tests: null speakers
# (vspk, the default, and vspk_a / vspk_b / vspk_c) whose monitors are also
# offered as recordable sources (vspk_a_rec ...); a silent microphone vmic
# (the monitor of an unused null sink: FIFO sources without a writer can hang
# Qt's capture start when several tests open them at once); and FIFO
# microphones vmic_a / vmic_b / vmic_c fed by the tests through
# $MOONLODGE_TEST_AUDIO_DIR/<name>.fifo. Tests that run at the same time use
# different letters.
start_pulseaudio() {
  local dir="$XDG_RUNTIME_DIR/pulse-test"
  mkdir -p "$dir"
  export MOONLODGE_TEST_AUDIO_DIR="$dir"
  local modules=(-L "module-native-protocol-unix socket=$dir/native auth-anonymous=1")
  local sink mic
  for sink in vspk vspk_a vspk_b vspk_c vsilence; do
    modules+=(-L "module-null-sink sink_name=$sink rate=48000 channels=2")
  done
  for mic in vmic_a vmic_b vmic_c; do
    modules+=(-L "module-pipe-source source_name=$mic file=$dir/$mic.fifo format=s16le rate=48000 channels=1")
  done
  for sink in vspk_a vspk_b vspk_c; do
    modules+=(-L "module-remap-source master=$sink.monitor source_name=${sink}_rec")
  done
  modules+=(-L "module-remap-source master=vsilence.monitor source_name=vmic")
  pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit --use-pid-file=no \
    "${modules[@]}" >"$dir/pulseaudio.log" 2>&1 &
  started_pids+=("$!")
  export PULSE_SERVER="unix:$dir/native"
  for _ in $(seq 1 100); do
    pactl info >/dev/null 2>&1 && break
    sleep 0.05
  done
  pactl set-default-sink vspk >/dev/null
  pactl set-default-source vmic >/dev/null
  # A cold null sink stalls at first: keep its monitors recorded.
  for sink in vspk vspk_a vspk_b vspk_c vsilence; do
    parec -d "$sink.monitor" --latency-msec=10 >/dev/null 2>&1 &
    started_pids+=("$!")
  done
  sleep 2
}
