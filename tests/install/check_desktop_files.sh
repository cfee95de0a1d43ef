#!/usr/bin/env bash
# The desktop entry and the AppStream metadata pass their validators, and the
# committed icons are exactly what tools/make_icons.py draws, at every size.
# Usage: check_desktop_files.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
source_dir="$1"
build_dir="$2"
id=org.moonlodge.MoonLodge

desktop-file-validate "$source_dir/resources/desktop/$id.desktop"
appstreamcli validate --no-net "$build_dir/resources/$id.metainfo.xml"
grep -q '<caption>' "$build_dir/resources/$id.metainfo.xml"
grep -q '<release version="[0-9.]*" date="' "$build_dir/resources/$id.metainfo.xml"

drawn=$(mktemp -d)
trap 'rm -rf "$drawn"' EXIT
/usr/bin/python3 "$source_dir/tools/make_icons.py" "$drawn" >/dev/null
diff -r "$drawn" "$source_dir/resources/icons/hicolor"
for size in 16 24 32 48 64 128 256 512; do
  file "$drawn/${size}x${size}/apps/$id.png" | grep -q "PNG image data, $size x $size, 8-bit/color RGBA"
done
grep -q '<svg ' "$drawn/scalable/apps/$id.svg"
echo "desktop entry, metadata and icons are valid"
