#!/usr/bin/env bash
# Builds ztwizard, installs it into ./dist (override with ZT_PREFIX), registers the data
# source "plumbrook" and starts the wizard. Pick the server "(embedded)" on page 1 to work on
# the built-in server. Network discovery stays off unless ZTWIZARD_BROWSE_TARGET says otherwise.
# Installing over an earlier installation keeps its data (see README). Run as root.
set -euo pipefail
cd "$(dirname "$0")/.."

step=""
trap 'rc=$?; [ $rc -ne 0 ] && echo "run-wizard.sh: stopped: ${step} failed (exit status $rc)." >&2' EXIT

step="installing the Debian packages (scripts/install-deps.sh)"
bash scripts/install-deps.sh
prefix=${ZT_PREFIX:-$PWD/dist}
step="configuring the build (cmake, build-release)"
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DZT_BUILD_TESTS=OFF >/dev/null
step="building"
cmake --build build-release -j"$(nproc)"
step="installing into $prefix"
out=$(cmake --install build-release --prefix "$prefix" 2>&1) || { printf '%s\n' "$out" >&2; exit 1; }
# Data of an earlier installation are kept (cmake/ZtInstall.cmake); say which.
printf '%s\n' "$out" | grep -e '^-- Keeping:' || true
step="registering the ODBC data source (scripts/register-dsn.sh)"
bash scripts/register-dsn.sh
step="starting the wizard"

export ZTWIZARD_BROWSE_TARGET=${ZTWIZARD_BROWSE_TARGET:-off}
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: starting the wizard on a virtual X display (xvfb-run)." >&2
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$prefix/ztwizard"
fi
exec "$prefix/ztwizard"
