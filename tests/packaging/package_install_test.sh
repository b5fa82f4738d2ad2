#!/usr/bin/env bash
# Installs the packages on this machine with dpkg, starts the installed kavo under Xvfb
# until its login window shows, then removes and purges the packages and checks that
# nothing of them is left. Changes the system: root only, and never over an installation
# that was there before. The packages are removed whatever happens.
#   package_install_test.sh PACKAGE_DIR
set -euo pipefail
out=$1
skip() { echo "SKIP: $*"; exit 77; }
fail() { echo "FAIL: $*" >&2; exit 1; }

[ "$(id -u)" -eq 0 ] || skip "installing packages needs root"
for p in kavo kavo-server; do
  if dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed'; then
    skip "$p is installed on this machine already"
  fi
done
command -v Xvfb >/dev/null && command -v xdotool >/dev/null || skip "needs Xvfb and xdotool"

client=$(ls "$out"/kavo_*_amd64.deb)
server=$(ls "$out"/kavo-server_*_amd64.deb)
work=$(mktemp -d)
xvfb_pid=
kavo_pid=
cleanup() {
  for pid in $kavo_pid $xvfb_pid; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  dpkg --purge kavo kavo-server >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

dpkg -i "$client" "$server" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg -i"; }
for f in /usr/bin/kavo /usr/bin/kavoctl /usr/bin/kavo-server /usr/lib/kavo/libpelbook.so \
         /usr/share/kavo/KAVO.cfg /etc/default/kavo-server; do
  [ -e "$f" ] || fail "$f is not installed"
done
if command -v systemd-analyze >/dev/null; then
  systemd-analyze verify --man=no /usr/lib/systemd/system/kavo-server.service \
    || fail "systemd-analyze verify kavo-server.service"
fi

# The installed program on a screen of its own, with a home of its own.
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
exec 3>&-
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start"
display=:$(head -n1 "$work/display")
mkdir -p "$work/home"
env -i HOME="$work/home" PATH=/usr/bin:/bin DISPLAY="$display" LANG=C.UTF-8 \
  QT_QPA_PLATFORM=xcb /usr/bin/kavo >"$work/kavo.log" 2>&1 &
kavo_pid=$!
window=
for _ in $(seq 200); do
  window=$(DISPLAY=$display xdotool search --onlyvisible --name 'Tavrin' 2>/dev/null | head -n1 || true)
  [ -n "$window" ] && break
  kill -0 "$kavo_pid" 2>/dev/null || break
  sleep 0.1
done
[ -n "$window" ] || { cat "$work/kavo.log"; fail "the login window did not show"; }
echo "login window: $(DISPLAY=$display xdotool getwindowname "$window")"
# The screen as the user saw it, kept beside the packages.
if command -v import >/dev/null; then
  sleep 0.5
  import -display "$display" -window root "$out/installed-login.png" 2>/dev/null || true
fi
db=$work/home/.local/share/kavo/KAVO.kavo
[ -f "$db" ] || fail "the database is not in ~/.local/share/kavo"
[ "$(stat -c %a "$db")" = 600 ] || fail "the database has mode $(stat -c %a "$db")"
kill "$kavo_pid"
wait "$kavo_pid" 2>/dev/null || true
kavo_pid=
[ ! -e /usr/bin/KAVO.kavo ] || fail "the program wrote its database into /usr/bin"

# Removed, only the conffile stays; purged, nothing.
files=$( { dpkg-deb -c "$client"; dpkg-deb -c "$server"; } | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./|/|')
dpkg -r kavo kavo-server >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg -r"; }
for f in $files; do
  [ "$f" = /etc/default/kavo-server ] && continue
  [ ! -e "$f" ] || fail "$f is left after dpkg -r"
done
for d in /usr/lib/kavo /usr/share/kavo /usr/share/doc/kavo /usr/share/doc/kavo-server; do
  [ ! -e "$d" ] || fail "$d is left after dpkg -r"
done
dpkg --purge kavo kavo-server >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg --purge"; }
[ ! -e /etc/default/kavo-server ] || fail "/etc/default/kavo-server is left after dpkg --purge"
echo "installed, shown and removed without a trace"
