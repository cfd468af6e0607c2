#!/usr/bin/env bash
# Start-up time of an installed ztwizard under Xvfb: from starting the process until page 1 is
# mapped and viewable. Usage: bench-startup-x11.sh INSTALL_DIR [runs]  (run it under xvfb-run)
set -euo pipefail
dir=$1
runs=${2:-5}
export ZTWIZARD_BROWSE_TARGET=off

viewable() {
  local id
  for id in $(xwininfo -root -tree | awk '/"ztwizard" "ztwizard"/ {print $1}'); do
    xwininfo -id "$id" | grep -q 'Map State: IsViewable' && return 0
  done
  return 1
}

for run in $(seq "$runs"); do
  start=$(date +%s%N)
  "$dir/ztwizard" 2>/dev/null &
  pid=$!
  until viewable; do sleep 0.002; done
  end=$(date +%s%N)
  kill "$pid"; wait "$pid" 2>/dev/null || true
  echo "run $run: $(( (end - start) / 1000000 )) ms until page 1 is viewable"
done
