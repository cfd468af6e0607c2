#!/usr/bin/env bash
# Start-up time of an installed ztwizard under Xvfb: from starting the process until page 1 is
# mapped and viewable. Run it under xvfb-run (or with DISPLAY set).
#   bench-startup-x11.sh INSTALL_DIR [runs]    starts INSTALL_DIR/ztwizard, network search off
#   bench-startup-x11.sh FILE.desktop [runs]   starts the menu entry's Exec line as it stands
#   bench-startup-x11.sh INSTALL_DIR runs --vs PROGRAM [ARG ...]
#       starts the wizard and PROGRAM (e.g. bench_emptywindow, an empty Qt window, or
#       bench_emptywindow --label, one with a Chinese label) in turns and prints each one's median
#       and their ratio
# It needs xev and xprop (Debian's x11-utils).
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

# One listener for the whole run reports each window that is mapped on the root window (without a
# window manager a mapped top-level window is viewable): the time is taken when the map happens,
# without polling the server from processes that compete with the program for the processors.
events=$(mktemp -u)
mkfifo "$events"
stdbuf -oL xev -root -event substructure >"$events" 2>/dev/null &
listener=$!
exec 3<"$events"
rm -f "$events"
trap 'kill "$listener" 2>/dev/null || true' EXIT
sleep 0.3

# Milliseconds from starting the command until a window of the program's class (its executable's
# name) is mapped.
time_start() {
  local class=$1 start end pid line window left
  shift
  start=${EPOCHREALTIME/./}
  "$@" >/dev/null 2>&1 &
  pid=$!
  while :; do
    # A start that never shows a window ends the measurement instead of holding it forever, also
    # while other windows keep the listener talking.
    left=$((10 - (${EPOCHREALTIME/./} - start) / 1000000))
    if [ "$left" -le 0 ] || ! IFS= read -r -t "$left" line <&3; then
      echo "$class did not become viewable within 10 s" >&2
      kill "$pid" 2>/dev/null || true
      exit 1
    fi
    [[ $line == MapNotify* ]] || continue
    end=${EPOCHREALTIME/./}
    IFS= read -r line <&3
    window=${line##*window }
    window=${window%%,*}
    xprop -id "$window" WM_CLASS 2>/dev/null | grep -q "\"$class\"" && break
  done
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  # The display server is given time to free the ended program's windows: a start right behind
  # an end waits up to 40 ms for its connection.
  sleep 0.3
  echo $(((end - start) / 1000))
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
