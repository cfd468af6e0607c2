#!/usr/bin/env bash
# Builds ztwizard, installs it into ./dist (override with ZT_PREFIX), registers the data
# source "plumbrook" and starts the wizard. Pick the server "(embedded)" on page 1 to work on
# the built-in server. Network discovery stays off unless ZTWIZARD_BROWSE_TARGET says otherwise.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
prefix=${ZT_PREFIX:-$PWD/dist}
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DZT_BUILD_TESTS=OFF >/dev/null
cmake --build build-release -j"$(nproc)"
cmake --install build-release --prefix "$prefix" >/dev/null
bash scripts/register-dsn.sh

export ZTWIZARD_BROWSE_TARGET=${ZTWIZARD_BROWSE_TARGET:-off}
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: starting the wizard on a virtual X display (xvfb-run)." >&2
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$prefix/ztwizard"
fi
exec "$prefix/ztwizard"
