#!/usr/bin/env bash
# By hand only, as root (not for CI): tries the README's two commands on a freshly bootstrapped
# Debian 12 (bookworm) or Debian 13 (trixie) system. Copies a pristine
# `debootstrap --variant=minbase RELEASE` tree, clones this repository into the copy and, in a
# chroot:
#   1. bash scripts/test.sh                      (every test must pass)
#   2. bash scripts/run-wizard.sh                (in the background, on xvfb; screenshot; stopped)
#   3. puts a registration into dist/data/MORVEK.mdb and edits help.ini, as the wizard would
#   4. bash scripts/run-wizard.sh again          (the registration and the edit must still be there)
#   5. the Debian package: built, installed (over OLDER_DEB when given: an upgrade), ztaccountset
#      run from the PATH by a member of the group, removed, purged
# Prints the wall time of each command. Needs sqlite3 and (for the screenshot) ImageMagick's
# `import` on the host.
#
#   scripts/fresh-system-check.sh RELEASE BASE_TREE WORK_TREE [LOG_DIR]
#   OLDER_DEB=path/to/ztwizard_x_amd64.deb scripts/fresh-system-check.sh ...
set -euo pipefail

release=${1:?bookworm or trixie}
base=${2:?pristine debootstrap tree of that release}
root=${3:?where to copy it (must not exist)}
logs=${4:-$PWD/fresh-system-logs-$release}
repo=$(cd "$(dirname "$0")/.." && pwd)

[ "$(id -u)" -eq 0 ] || { echo "fresh-system-check.sh: run as root (chroot, mount)." >&2; exit 1; }
case "$release" in
bookworm | trixie) ;;
*) echo "fresh-system-check.sh: release is bookworm or trixie, not '$release'." >&2; exit 2 ;;
esac
[ -d "$base" ] || { echo "fresh-system-check.sh: no tree at $base" >&2; exit 1; }
codename=$(. "$base/etc/os-release" && echo "${VERSION_CODENAME:-}")
[ "$codename" = "$release" ] || { echo "fresh-system-check.sh: $base is '$codename', not $release." >&2; exit 1; }
[ ! -e "$root" ] || { echo "fresh-system-check.sh: $root exists; give a new path." >&2; exit 1; }
mkdir -p "$logs"
echo "release: $release ($(cat "$base/etc/debian_version"))" | tee "$logs/summary.txt"

cp -a "$base" "$root"
cp /etc/resolv.conf "$root/etc/resolv.conf"
# debootstrap writes no /etc/hosts (an installed system has one); the Debian installer's lines.
[ -e "$root/etc/hosts" ] || printf '127.0.0.1\tlocalhost\n::1\t\tlocalhost ip6-localhost ip6-loopback\n' >"$root/etc/hosts"
git clone -q "$repo" "$root/root/ztwizard"

mounted=()
cleanup() {
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
    umount -R "${mounted[i]}" 2>/dev/null || umount -l -R "${mounted[i]}" || true
  done
}
trap cleanup EXIT
mount -t proc proc "$root/proc" && mounted+=("$root/proc")
mount --rbind /sys "$root/sys" && mount --make-rslave "$root/sys" && mounted+=("$root/sys")
mount --rbind /dev "$root/dev" && mount --make-rslave "$root/dev" && mounted+=("$root/dev")

in_chroot() {
  nice chroot "$root" /usr/bin/env -i HOME=/root TERM=dumb LANG=C.UTF-8 \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin "$@"
}
timed() { # name command...
  local start=$SECONDS rc=0
  "${@:2}" >"$logs/$1.log" 2>&1 || rc=$?
  echo "$1: exit status $rc, wall time $((SECONDS - start)) s" | tee -a "$logs/summary.txt"
  return $rc
}

dist=$root/root/ztwizard/dist
morvek=$dist/data/MORVEK.mdb

# Starts run-wizard.sh in the background, waits for the wizard's first window, takes a
# screenshot and stops the wizard by its process id.
run_wizard() { # name
  local name=$1 start=$SECONDS
  in_chroot bash -c 'cd /root/ztwizard && ZTWIZARD_BROWSE_TARGET=off exec bash scripts/run-wizard.sh' \
    >"$logs/$name.log" 2>&1 &
  local job=$! wizard=""
  for _ in $(seq 1 3600); do
    wizard=""
    for pid in $(ps -eo pid=,args= | awk '$2 == "/root/ztwizard/dist/ztwizard" { print $1 }'); do
      [ "$(readlink "/proc/$pid/root")" = "$(realpath "$root")" ] && wizard=$pid && break
    done
    [ -n "$wizard" ] && break
    kill -0 "$job" 2>/dev/null || { echo "$name: run-wizard.sh ended without starting the wizard" | tee -a "$logs/summary.txt"; return 1; }
    sleep 1
  done
  [ -n "$wizard" ] || return 1
  sleep 5 # page 1 shown
  echo "$name: wizard up after $((SECONDS - start)) s (pid $wizard)" | tee -a "$logs/summary.txt"
  local auth
  auth=$(ls -d "$root"/tmp/xvfb-run.*/Xauthority 2>/dev/null | head -n1 || true)
  local display
  display=$(tr '\0' '\n' <"/proc/$wizard/environ" | sed -n 's/^DISPLAY=//p')
  if [ -n "$auth" ] && [ -n "$display" ] && command -v import >/dev/null; then
    XAUTHORITY=$auth DISPLAY=$display import -window root "$logs/$name.png" || true
  fi
  kill "$wizard"
  wait "$job" || true
}

timed test in_chroot bash -c 'cd /root/ztwizard && bash scripts/test.sh'
grep -E 'tests passed|tests failed' "$logs/test.log" | tee -a "$logs/summary.txt"

run_wizard wizard-1

# A registration as the wizard stores it: the server's login record and a local account set
# with its per-set file; a site's edit of help.ini.
sqlite3 "$morvek" "insert into xtljb (zjmc, \"1\", \"2\") values ('(embedded)', 'integrated security=sspi;persist security info=false;', '');
  insert into ztxxb (ztbh, ztmc, jlrq, kl, zjmc, sjklx, net) values ('zt001', '检查账套', '2026-12-08', 'pw', '(embedded)', 'MS SQL', '否');"
cp "$dist/data/SysBase.mdb" "$dist/data/SysBase/zt001_S_SysBase.mdb"
printf 'site=edited\r\n' >>"$dist/help.ini"
before=$(cd "$dist" && sha256sum data/MORVEK.mdb help.ini data/SysBase/zt001_S_SysBase.mdb)

run_wizard wizard-2

after=$(cd "$dist" && sha256sum data/MORVEK.mdb help.ini data/SysBase/zt001_S_SysBase.mdb)
rows=$(sqlite3 "$morvek" "select count(*) from xtljb; select ztbh || ' ' || ztmc from ztxxb;")
echo "after the second run: $(echo "$rows" | tr '\n' ' ')" | tee -a "$logs/summary.txt"
if [ "$before" = "$after" ]; then
  echo "registration kept: yes" | tee -a "$logs/summary.txt"
else
  echo "registration kept: NO" | tee -a "$logs/summary.txt"
  exit 1
fi

# The Debian package on this release: install (an upgrade over OLDER_DEB), use, remove, purge.
if [ -n "${OLDER_DEB:-}" ]; then
  cp "$OLDER_DEB" "$root/root/older.deb"
fi
cat >"$root/root/package-round.sh" <<'ROUND'
set -eux
cd /root/ztwizard
build=build-test
cpack -G DEB -B /root/deb --config $build/CPackConfig.cmake >/dev/null
deb=$(ls /root/deb/ztwizard_*_amd64.deb)
export DEBIAN_FRONTEND=noninteractive
if [ -e /root/older.deb ]; then
  apt-get install -y -qq /root/older.deb
  dpkg-query -W ztwizard
  dpkg -i "$deb" # over the older one, also when it has the same version
else
  apt-get install -y -qq "$deb"
fi
dpkg-query -W ztwizard
apt-get install -y -qq --no-install-recommends passwd >/dev/null
id alice >/dev/null 2>&1 || useradd -m -G ztwizard alice
stat -c '%A %G %n' /var/opt/ztwizard /var/opt/ztwizard/data /var/opt/ztwizard/data/MORVEK.mdb
su -s /bin/bash alice -c 'umask 077; cd; command -v ztaccountset; ztaccountset create --help | head -n 1;
  ZTWIZARD_BROWSE_TARGET=off ZTWIZARD_LOGIN_PASSWORD= ztaccountset login --server "(embedded)" --user sa'
# The scheduled backups: the system user, the timer enabled, a plan alice sets run as the
# timer's service runs it (its user, group and mask), its record read by alice.
getent passwd ztwizard
ls -l /etc/systemd/system/timers.target.wants/ztwizard-backup.timer
su -s /bin/bash alice -c 'umask 077; ZTWIZARD_BROWSE_TARGET=off ztaccountset backup-plan set --server "(embedded)" --time 02:00 --keep 2 --all'
runuser -u ztwizard -g ztwizard -- bash -c 'umask 0007; cd /; ZTWIZARD_BROWSE_TARGET=off /opt/ztwizard/ztaccountset backup-plan run --server "(embedded)"'
su -s /bin/bash alice -c 'ZTWIZARD_BROWSE_TARGET=off ztaccountset backup-plan show --server "(embedded)"' && echo "timer run read by alice"
find /var/opt/ztwizard -newer /var/opt/ztwizard/help.ini -type f -printf '%m %g %p\n' | sort | head -n 20
apt-get remove -y -qq ztwizard
[ -L /etc/systemd/system/ztwizard-backup.timer ] && echo "timer masked after remove"
[ -d /var/opt/ztwizard ] && echo "kept after remove"
apt-get purge -y -qq ztwizard
[ ! -e /var/opt/ztwizard ] && echo "gone after purge"
[ ! -e /etc/systemd/system/ztwizard-backup.timer ] && [ ! -e /etc/systemd/system/timers.target.wants/ztwizard-backup.timer ] && echo "timer gone after purge"
ROUND
timed package in_chroot bash /root/package-round.sh || true
grep -E '^(ztwizard|/usr/bin/ztaccountset|用法|kept|gone|timer)' "$logs/package.log" | tee -a "$logs/summary.txt" || true
