#!/usr/bin/env bash
# Makes the Debian package from the build, checks its control fields and file
# list with dpkg-deb and lintian, installs it into a throwaway root and starts
# the program there as its desktop entry says, under a virtual X display.
# Usage: check_package.sh BUILD_DIR
set -euo pipefail
build_dir="$1"
id=org.moonlodge.MoonLodge
work=$(mktemp -d)
xvfb_pid=""
app_pid=""
cleanup() {
  [ -z "$app_pid" ] || kill "$app_pid" 2>/dev/null || true
  [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack --config "$build_dir/CPackConfig.cmake" -B "$work/out" >/dev/null
deb=$(ls "$work"/out/moonlodge-desktop_*.deb)

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = moonlodge-desktop ] || fail "package name"
[ "$(field Section)" = net ] || fail "section"
depends=$(field Depends)
for library in libqt6widgets6 libqt6websockets6 libqt6multimedia6 libqt6dbus6 libgstreamer1.0-0 \
               libgstreamer-plugins-bad1.0-0 libnice10 libopus0 libsecret-1-0 libc6 gstreamer1.0-nice; do
  grep -q "$library" <<<"$depends" || fail "Depends lacks $library: $depends"
done
description=$(field Description)
[ "$(wc -l <<<"$description")" -ge 3 ] || fail "no long description"

files=$(dpkg-deb -c "$deb" | awk '{print $6}')
expected=(./usr/bin/moonlodge-desktop "./usr/share/applications/$id.desktop"
          "./usr/share/metainfo/$id.metainfo.xml" ./usr/share/doc/moonlodge-desktop/copyright
          ./usr/share/doc/moonlodge-desktop/changelog.gz "./usr/share/icons/hicolor/scalable/apps/$id.svg")
for size in 16 24 32 48 64 128 256 512; do
  expected+=("./usr/share/icons/hicolor/${size}x${size}/apps/$id.png")
done
for path in "${expected[@]}"; do
  grep -qx -- "$path" <<<"$files" || fail "missing $path"
done
[ "$(grep -c -v '/$' <<<"$files")" -eq "${#expected[@]}" ] || fail "unexpected files: $files"

lintian --fail-on error "$deb"

root="$work/root"
dpkg-deb -x "$deb" "$root"
"$root/usr/bin/moonlodge-desktop" --version | grep -q '^moonlodge-desktop [0-9]' || fail "--version"

# Start it the way a launcher would: the Exec line, with the throwaway root on PATH.
exec_line=$(sed -n 's/^Exec=//p' "$root/usr/share/applications/$id.desktop")
display=":$((200 + RANDOM % 100))"
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
sleep 1
runtime="$work/runtime"
mkdir -m 700 "$runtime"
env -u QT_QPA_PLATFORM DISPLAY="$display" PATH="$root/usr/bin:$PATH" XDG_RUNTIME_DIR="$runtime" \
  XDG_DATA_DIRS="$root/usr/share:/usr/share" MOONLODGE_BASE_URL=http://127.0.0.1:9 $exec_line &
app_pid=$!
sleep 4
kill -0 "$app_pid" 2>/dev/null || fail "the program did not stay up"
echo "package $(basename "$deb") is complete and starts"
