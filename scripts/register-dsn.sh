#!/usr/bin/env bash
# Registers the system ODBC data source "plumbrook" (SQLite3 driver) through which ztwizard
# reaches its local configuration files. The file itself is named in each connection string.
# Writes the system ODBC configuration (/etc/odbc.ini): run as root.
set -euo pipefail

fail() {
  echo "register-dsn.sh: $1" >&2
  [ -n "${2:-}" ] && printf '%s\n' "$2" | sed 's/^/  /' >&2
  if [ "$(id -u)" -ne 0 ]; then
    echo "register-dsn.sh: the system ODBC configuration is written by root: run this as root (sudo)." >&2
  fi
  exit 1
}

command -v odbcinst >/dev/null 2>&1 || fail "odbcinst not found (package odbcinst): run scripts/install-deps.sh as root."

if ! out=$(odbcinst -q -d -n SQLite3 2>&1); then
  fail "the SQLite3 ODBC driver is not registered (package libsqliteodbc): run scripts/install-deps.sh as root." "$out"
fi

# An earlier registration is replaced; its absence is not an error.
odbcinst -u -s -l -n plumbrook >/dev/null 2>&1 || true
if ! out=$(odbcinst -i -s -l -r 2>&1 <<'INI'
[plumbrook]
Description=ztwizard local configuration files
Driver=SQLite3
INI
); then
  fail "could not register the data source \"plumbrook\" in the system ODBC configuration." "$out"
fi
if ! odbcinst -q -s -l -n plumbrook >/dev/null 2>&1; then
  fail "the data source \"plumbrook\" is not in the system ODBC configuration after registering it." "$out"
fi
