#!/usr/bin/env bash
# Registers the system ODBC data source "plumbrook" (SQLite3 driver) through which ztwizard
# reaches its local configuration files. The file itself is named in each connection string.
set -euo pipefail

if ! odbcinst -q -d -n SQLite3 >/dev/null 2>&1; then
  echo "The SQLite3 ODBC driver is not registered (package libsqliteodbc)." >&2
  exit 1
fi

odbcinst -u -s -l -n plumbrook >/dev/null 2>&1 || true
odbcinst -i -s -l -r >/dev/null <<'INI'
[plumbrook]
Description=ztwizard local configuration files
Driver=SQLite3
INI
