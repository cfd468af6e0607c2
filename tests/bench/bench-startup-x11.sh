#!/usr/bin/env bash
# Start-up time of an installed ztwizard under Xvfb: from starting the process until page 1 is
# mapped and viewable. Run it under xvfb-run (or with DISPLAY set).
#   bench-startup-x11.sh INSTALL_DIR [runs]    starts INSTALL_DIR/ztwizard, network search off
#   bench-startup-x11.sh FILE.desktop [runs]   starts the menu entry's Exec line as it stands
# A menu entry's command searches the network (it unsets ZTWIZARD_BROWSE_TARGET): time it only
# inside a network namespace of its own (unshare -n), where nothing can leave the machine.
set -euo pipefail
target=$1
runs=${2:-5}
export ZTWIZARD_BROWSE_TARGET=off

if [[ $target == *.desktop ]]; then
  read -ra command <<<"$(sed -n 's/^Exec=//p' "$target" | head -n 1)"
  if [[ " ${command[*]} " == *" -u ZTWIZARD_BROWSE_TARGET "* ]] && [ "$(wc -l </proc/net/route)" -gt 1 ]; then
    echo "The menu command searches the network: run this under unshare -n." >&2
    exit 2
  fi
else
  command=("$target/ztwizard")
fi

viewable() {
  local id
  for id in $(xwininfo -root -tree | awk '/"ztwizard" "ztwizard"/ {print $1}'); do
    xwininfo -id "$id" | grep -q 'Map State: IsViewable' && return 0
  done
  return 1
}

for run in $(seq "$runs"); do
  start=$(date +%s%N)
  "${command[@]}" 2>/dev/null &
  pid=$!
  until viewable; do sleep 0.002; done
  end=$(date +%s%N)
  kill "$pid"; wait "$pid" 2>/dev/null || true
  echo "run $run: $(( (end - start) / 1000000 )) ms until page 1 is viewable"
done
