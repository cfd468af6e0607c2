#!/usr/bin/env bash
# Installs what the build needs, builds everything with warnings as errors and runs every test
# through CTest. Set ZT_SANITIZE=ON to build and test under AddressSanitizer and UBSan.
set -euo pipefail
cd "$(dirname "$0")/.."

trap 'rc=$?; [ $rc -ne 0 ] && echo "test.sh: stopped with exit status $rc." >&2' EXIT
bash scripts/install-deps.sh
build=${ZT_BUILD_DIR:-build-test}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DZT_WERROR=ON -DZT_SANITIZE="${ZT_SANITIZE:-OFF}" >/dev/null
cmake --build "$build" -j"$(nproc)"
export ZTWIZARD_BROWSE_TARGET=off QT_QPA_PLATFORM=offscreen
cd "$build"
ctest --output-on-failure -j"$(nproc)"
