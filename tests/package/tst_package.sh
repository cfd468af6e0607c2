#!/usr/bin/env bash
# Builds the Debian package from a build folder and checks it: its name, its files and links,
# what it leaves out, its dependencies, its maintainer scripts, the menu entry and the AppStream
# metadata (desktop-file-validate, appstreamcli) and lintian's verdict. Also checks that a plain
# `cmake --install` still lays out a complete installation directory without the package's files.
# Usage: tst_package.sh BUILD_DIR VERSION
set -euo pipefail
build=$(cd "$1" && pwd)
version=$2
work=$build/package-test
rm -rf "$work"
mkdir -p "$work"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "PASS: $*"; }

cpack -G DEB -B "$work" --config "$build/CPackConfig.cmake" >"$work/cpack.log" 2>&1 || {
  cat "$work/cpack.log"; echo "FAIL: cpack"; exit 1; }
deb=$work/ztwizard_${version}_amd64.deb
[ -f "$deb" ] && pass "package file $(basename "$deb")" || { ls "$work"; fail "no $deb"; exit 1; }

listing=$(dpkg-deb -c "$deb" | awk '{ print substr($1, 1, 1) " " $6 ($7 == "->" ? " -> " $8 : "") }')
expect() { # kind (- d l) path [link target]
  local line="$1 $2"
  [ $# -eq 3 ] && line="$line -> $3"
  grep -qxF -- "$line" <<<"$listing" && pass "$line" || fail "missing: $line"
}
expect - ./opt/ztwizard/ztwizard
for f in Sample.mdb SysBase.mdb xzzt.ini TOVRASQL_Sample.bak; do expect - ./opt/ztwizard/data/$f; done
for p in data/MORVEK.mdb data/SysBase data/SysBase.aside data/embedded data/backup data/servertrust data/backupplans data/copies help.ini txt; do
  expect l ./opt/ztwizard/$p /var/opt/ztwizard/$p
done
for f in data/MORVEK.mdb help.ini txt/xzzt.txt txt/runsoft.txt; do expect - ./opt/ztwizard/share/defaults/$f; done
expect - ./usr/share/applications/invalid.ztwizard.ztwizard.desktop
expect - ./usr/share/metainfo/invalid.ztwizard.ztwizard.metainfo.xml
for s in 16 22 24 32 48 64 128 256; do expect - ./usr/share/icons/hicolor/${s}x${s}/apps/ztwizard.png; done
expect - ./usr/share/doc/ztwizard/copyright
expect - ./usr/share/doc/ztwizard/changelog.gz
expect l ./usr/bin/ztaccountset /opt/ztwizard/ztaccountset
for u in service timer; do expect - ./usr/lib/systemd/system/ztwizard-backup.$u; done
# Nothing for the changing files' folder (the maintainer script makes it), no test tools.
if grep -E '^. \./var/|ztwizard-tds|/tests?/' <<<"$listing"; then fail "files that do not belong"; else pass "no /var, no test tools"; fi

depends=$(dpkg-deb -f "$deb" Depends)
for d in libqt6widgets6 libqt6sql6 libsqlite3-0 libgnutls30 libqt6sql6-odbc unixodbc odbcinst tdsodbc ca-certificates libsqliteodbc fonts-wqy-microhei qt6-translations-l10n passwd; do
  grep -qE "(^|, |\| )$d(t64)?( |,|$)" <<<"$depends" && pass "depends on $d" || fail "no dependency on $d: $depends"
done

[ "$(dpkg-deb -f "$deb" Recommends)" = "fcitx5-frontend-qt6 | ibus, qt6-wayland" ] && pass "recommends an input method's Qt 6 module and Qt's Wayland plugin" \
  || fail "Recommends: $(dpkg-deb -f "$deb" Recommends)"

mkdir -p "$work/control" "$work/root"
dpkg-deb -e "$deb" "$work/control"
dpkg-deb -x "$deb" "$work/root"
for s in postinst prerm postrm; do
  [ -x "$work/control/$s" ] && sh -n "$work/control/$s" && pass "$s: executable, sh -n" || fail "$s"
done
[ "$(stat -c %a "$work/root/opt/ztwizard/ztwizard")" = 755 ] && pass "executable mode" || fail "mode of ztwizard"
file "$work/root/opt/ztwizard/ztwizard" | grep -q ', stripped' && pass "stripped" || fail "not stripped"

# The scheduled backups' units as systemd reads them (the run pointed at this build's program, which
# the package puts in /opt/ztwizard).
mkdir -p "$work/units"
cp "$work/root/usr/lib/systemd/system/ztwizard-backup."* "$work/units/"
sed -i "s|/opt/ztwizard/ztaccountset|$build/src/cli/ztaccountset|" "$work/units/ztwizard-backup.service"
if command -v systemd-analyze >/dev/null; then
  systemd-analyze verify "$work/units/ztwizard-backup.timer" "$work/units/ztwizard-backup.service" >"$work/units.log" 2>&1 \
    && [ ! -s "$work/units.log" ] && pass "systemd-analyze verify: timer and service" || { cat "$work/units.log"; fail "systemd-analyze verify"; }
else
  echo "SKIP: systemd-analyze verify (no systemd here)"
fi
grep -qx 'ExecStart=/opt/ztwizard/ztaccountset backup-plan run --due' "$work/root/usr/lib/systemd/system/ztwizard-backup.service" \
  && grep -qx 'User=ztwizard' "$work/root/usr/lib/systemd/system/ztwizard-backup.service" && pass "the timer runs the due plans as the group's user" \
  || fail "ExecStart or User of ztwizard-backup.service"

desktop-file-validate "$work/root/usr/share/applications/invalid.ztwizard.ztwizard.desktop" && pass "desktop-file-validate" || fail "desktop-file-validate"
grep -qx 'Exec=env -u ZTWIZARD_BROWSE_TARGET /opt/ztwizard/ztwizard' "$work/root/usr/share/applications/invalid.ztwizard.ztwizard.desktop" \
  && pass "Exec line" || fail "Exec line"
appstreamcli validate --no-net "$work/root/usr/share/metainfo/invalid.ztwizard.ztwizard.metainfo.xml" >"$work/appstream.log" 2>&1 \
  && pass "appstreamcli validate" || { cat "$work/appstream.log"; fail "appstreamcli validate"; }
for s in 16 256; do
  file "$work/root/usr/share/icons/hicolor/${s}x${s}/apps/ztwizard.png" | grep -q "PNG image data, $s x $s" \
    && pass "icon ${s}x$s" || fail "icon ${s}x$s"
done

# lintian: no errors (warnings are listed in the log; overrides in packaging/debian).
lintian --no-tag-display-limit "$deb" >"$work/lintian.log" 2>&1 || true
if grep -E '^E: ' "$work/lintian.log"; then fail "lintian errors"; else pass "lintian: no errors ($(grep -c '^W: ' "$work/lintian.log" || true) warnings)"; fi

# A plain install: a complete installation directory, the changing files as real files.
cmake --install "$build" --prefix "$work/dist" >/dev/null
for f in ztwizard data/MORVEK.mdb help.ini txt/xzzt.txt data/Sample.mdb; do
  [ -f "$work/dist/$f" ] && [ ! -L "$work/dist/$f" ] && pass "dist/$f" || fail "dist/$f"
done
[ -d "$work/dist/data/SysBase" ] && pass "dist/data/SysBase" || fail "dist/data/SysBase"
[ ! -e "$work/dist/share" ] && [ ! -e "$work/dist/usr" ] && pass "no package files in dist" || fail "package files in dist"

# Two members of the group on one instance, as the package lays it out (postinst's folders 2770,
# files 0660), with different masks: each uses what the other made; someone outside the group
# reads nothing. Needs root (setpriv to numeric ids that have no account).
if [ "$(id -u)" -eq 0 ] && command -v setpriv >/dev/null; then
  shared=$(mktemp -d /tmp/zt-group.XXXXXX)
  chmod 0711 "$shared"
  cp -a "$work/dist" "$shared/inst"
  # The build's own program, where users may run it (a build folder may lie under /root).
  install -m 0755 -D "$build/src/cli/ztaccountset" "$shared/bin/ztaccountset"
  gid=64790
  chgrp -R $gid "$shared/inst"
  find "$shared/inst" -type d -exec chmod 2770 {} +
  find "$shared/inst/data" "$shared/inst/help.ini" "$shared/inst/txt" -type f -exec chmod 0660 {} +
  printf '[plumbrook]\nDriver=SQLite3\n' >"$shared/odbc.ini"
  chmod 0644 "$shared/odbc.ini"
  as() { # uid umask ztaccountset-arguments...
    local uid=$1 mask=$2 groups=$gid
    shift 2
    [ "$uid" = 64793 ] && groups=$uid
    mkdir -p "$shared/home-$uid" && chown "$uid" "$shared/home-$uid"
    setpriv --reuid="$uid" --regid="$uid" --groups="$groups" env -i HOME="$shared/home-$uid" PATH=/usr/bin:/bin \
      ODBCINI="$shared/odbc.ini" ZTWIZARD_BROWSE_TARGET=off ZTWIZARD_LOGIN_PASSWORD= ZTWIZARD_SET_PASSWORD=pw \
      bash -c 'umask '"$mask"'; exec "$@"' - "$shared/bin/ztaccountset" --dir "$shared/inst" "$@"
  }
  alice=64791 bob=64792 carol=64793
  step() { # what uid umask arguments...
    local what=$1
    shift
    as "$@" >>"$work/group.log" 2>&1 && pass "$what" || { tail -n 5 "$work/group.log"; fail "$what"; }
  }
  step "alice logs in" $alice 077 login --server '(embedded)' --user sa
  step "alice creates 601" $alice 077 create --server '(embedded)' --db 601 --name 甲账套
  step "bob lists alice's set" $bob 022 list --server '(embedded)'
  step "bob creates 602" $bob 022 create --server '(embedded)' --db 602 --name 乙账套
  step "bob backs up alice's set" $bob 022 backup --server '(embedded)' --db 601 --to zt601.bak
  step "alice deletes bob's set" $alice 077 delete --server '(embedded)' --db 602
  # The timer's run: the package's user, a member of the group alone, with the service's mask.
  step "alice plans backups" $alice 077 backup-plan set --server '(embedded)' --time 02:00 --keep 2 --all
  step "the timer's user runs alice's plan" 64794 007 backup-plan run --server '(embedded)'
  step "bob reads the plan's record" $bob 022 backup-plan show --server '(embedded)'
  as $alice 077 list --server '(embedded)' >"$work/group-list.txt" 2>&1 || true
  grep -q 601 "$work/group-list.txt" && ! grep -q 602 "$work/group-list.txt" && pass "alice lists 601 alone" \
    || { cat "$work/group-list.txt"; fail "alice's list"; }
  as $carol 022 list --server '(embedded)' >>"$work/group.log" 2>&1 && fail "carol, outside the group, lists" \
    || pass "carol, outside the group, is refused"
  open=$(find "$shared/inst/data" "$shared/inst/help.ini" \( -type f ! -perm 0660 \) -o \( -type d ! -perm 2770 \) -o ! -group $gid)
  [ -z "$open" ] && pass "everything made is the group's alone ($(find "$shared/inst/data" -newer "$shared/odbc.ini" -type f | wc -l) new files)" \
    || { ls -ld $open; fail "files not 0660/2770 of the group"; }
  rm -rf "$shared"
else
  echo "SKIP: two members of the group (needs root and setpriv)"
fi

echo "$failures failure(s)"
[ "$failures" -eq 0 ]
