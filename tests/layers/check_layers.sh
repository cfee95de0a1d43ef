#!/usr/bin/env bash
# Fails when a source includes a layer above its own. Each layer of src/ may
# include itself and the layers listed after it; every layer may use the log
# categories (app/LogCategories.h).
set -euo pipefail
src="$1/src"
declare -A allowed=(
  [app]="app session realtime widgets voice online pages shell"
  [shell]="shell session realtime widgets voice online pages"
  [pages]="pages session realtime widgets online"
  [online]="online session realtime widgets"
  [voice]="voice session widgets"
  [widgets]="widgets"
  [realtime]="realtime session"
  [session]="session"
)
status=0
for layer in "${!allowed[@]}"; do
  while IFS= read -r line; do
    file=${line%%:*}
    target=$(sed -E 's/.*#include "([a-z]+)\/.*/\1/' <<<"$line")
    [[ "$line" == *'"app/LogCategories.h"'* ]] && continue
    if [[ " ${allowed[$layer]} " != *" $target "* ]]; then
      echo "upward include in $file: $(sed -E 's/^[^:]*:[0-9]+://' <<<"$line")"
      status=1
    fi
  done < <(grep -rnE '^#include "[a-z]+/' "$src/$layer" || true)
done
exit $status
