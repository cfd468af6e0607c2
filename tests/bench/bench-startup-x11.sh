#!/usr/bin/env bash
# Start-up time of an installed ztwizard under Xvfb: from starting the process until page 1 is
# mapped and viewable. Run it under xvfb-run (or with DISPLAY set).
#   bench-startup-x11.sh INSTALL_DIR [runs]    starts INSTALL_DIR/ztwizard, network search off
#   bench-startup-x11.sh FILE.desktop [runs]   starts the menu entry's Exec line as it stands
#   bench-startup-x11.sh INSTALL_DIR runs --vs PROGRAM [ARG ...]
#       starts the wizard and PROGRAM (e.g. bench_emptywindow, an empty Qt window, or
#       bench_emptywindow --label, one with a Chinese label) in turns and prints each one's median
#       and their ratio
# A menu entry's command searches the network (it unsets ZTWIZARD_BROWSE_TARGET): time it only
# inside a network namespace of its own (unshare -n), where nothing can leave the machine.
set -euo pipefail
target=$1
runs=${2:-5}
yardstick=()
if [ "${3:-}" = --vs ]; then
  yardstick=("${@:4}")
  [ ${#yardstick[@]} -gt 0 ] || { echo "--vs needs a program" >&2; exit 2; }
fi
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

# A window of the program's class (its executable's name) that is mapped and viewable.
viewable() {
  local class=$1 id
  for id in $(xwininfo -root -tree | awk -v c="\"$class\" \"$class\"" 'index($0, c) {print $1}'); do
    xwininfo -id "$id" | grep -q 'Map State: IsViewable' && return 0
  done
  return 1
}

# Milliseconds from starting the command until its window is viewable.
time_start() {
  local class=$1 start end pid
  shift
  start=$(date +%s%N)
  "$@" >/dev/null 2>&1 &
  pid=$!
  until viewable "$class"; do
    sleep 0.002
    # A start that never shows a window ends the measurement instead of holding it forever.
    if [ $((($(date +%s%N) - start) / 1000000)) -gt 10000 ]; then
      echo "$class did not become viewable within 10 s" >&2
      kill "$pid" 2>/dev/null || true
      exit 1
    fi
  done
  end=$(date +%s%N)
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  echo $(((end - start) / 1000000))
}

median() { sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }

wizard=() other=()
for run in $(seq "$runs"); do
  ms=$(time_start ztwizard "${command[@]}")
  wizard+=("$ms")
  if [ ${#yardstick[@]} -gt 0 ]; then
    other+=("$(time_start "$(basename "${yardstick[0]}")" "${yardstick[@]}")")
    echo "run $run: wizard $ms ms, ${yardstick[*]##*/} ${other[-1]} ms until viewable"
  else
    echo "run $run: $ms ms until page 1 is viewable"
  fi
done
if [ ${#yardstick[@]} -gt 0 ]; then
  w=$(printf '%s\n' "${wizard[@]}" | median)
  o=$(printf '%s\n' "${other[@]}" | median)
  echo "medians of $runs runs: wizard $w ms, ${yardstick[*]##*/} $o ms, ratio $(awk -v a="$w" -v b="$o" 'BEGIN {printf "%.2f", a / b}')"
fi
