#!/usr/bin/env bash
# Installs into a temporary prefix and uses the installed programs as a user who cannot
# write there: kavoctl registers and logs in against the installed kavo-server, and its
# files land in the user's folders, private to the user.
#   install_prefix_test.sh BUILD_DIR
set -euo pipefail

build=$1
work=$(mktemp -d)
server_pid=
cleanup() {
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

chmod 755 "$work"
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log" || { cat "$work/install.log"; fail "cmake --install"; }

# The layout of an installation, and nothing beside the programs.
for f in bin/kavoctl bin/kavo-server lib/kavo/libpelbook.so share/kavo/KAVO.cfg \
         share/man/man1/kavoctl.1.gz share/man/man1/kavo-server.1.gz \
         share/doc/kavo/copyright lib/systemd/system/kavo-server.service; do
  [ -e "$prefix/$f" ] || fail "$f is not installed"
done
if [ -e "$build/bin/kavo" ]; then
  for f in bin/kavo share/applications/com.norvane.Kavo.desktop \
           share/metainfo/com.norvane.Kavo.metainfo.xml \
           share/icons/hicolor/scalable/apps/kavo.svg share/icons/hicolor/48x48/apps/kavo.png \
           share/man/man1/kavo.1.gz; do
    [ -e "$prefix/$f" ] || fail "$f is not installed"
  done
fi
extra=$(ls "$prefix/bin" | grep -vx -e kavo -e kavoctl -e kavo-server || true)
[ -z "$extra" ] || fail "unexpected files in bin/: $extra"
[ ! -e "$prefix/etc" ] || fail "a plain install wrote etc/"
! grep -E 'Installing: /etc|Up-to-date: /etc' "$work/install.log" || fail "a plain install wrote to /etc"
grep -q 'SvrIP0="127.0.0.1"' "$prefix/share/kavo/KAVO.cfg" || fail "the installed server list does not name 127.0.0.1"

# The user: nobody when we are root, else ourselves (unprivileged either way).
home=$work/home
mkdir -p "$home"
as_user=(env)
if [ "$(id -u)" -eq 0 ]; then
  chown nobody:nogroup "$home"
  as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups env)
fi
run_user() {
  "${as_user[@]}" -i HOME="$home" PATH=/usr/bin:/bin LANG=C.UTF-8 "$@"
}

# The installed server on 127.0.0.2, which only the user's own server list names.
mkdir -p "$work/server"
chmod 700 "$work/server"
"$prefix/bin/kavo-server" --listen 127.0.0.2 --login-port 0 --service-port 0 --quiet \
  --db "$work/server/kavo-server.db" >"$work/server.out" 2>"$work/server.err" &
server_pid=$!
for _ in $(seq 100); do
  grep -q listening "$work/server.out" 2>/dev/null && break
  sleep 0.1
done
line=$(grep listening "$work/server.out") || { cat "$work/server.err"; fail "kavo-server did not start"; }
login_port=$(sed -E 's/.*login=[0-9.]+:([0-9]+).*/\1/' <<<"$line")
service_port=$(sed -E 's/.*service=[0-9.]+:([0-9]+).*/\1/' <<<"$line")
[ "$(stat -c %a "$work/server/kavo-server.db")" = 600 ] || fail "the server's database is not private"

ctl() { run_user "$prefix/bin/kavoctl" --login-port "$login_port" --service-port "$service_port" "$@"; }

# The installed list names 127.0.0.1, where nothing listens: refused.
if ctl -u alice -p secret12 register >"$work/out" 2>&1; then fail "registered without a server list naming the server"; fi

run_user mkdir -p "$home/.config/kavo"
printf '<?xml version="1.0" encoding="UTF-8"?>\n<KAVO><IP SvrIP0="127.0.0.2" SvrIP1="" SvrIP2=""/></KAVO>\n' \
  | run_user sh -c 'cat > "$HOME/.config/kavo/KAVO.cfg"'
ctl -u alice -p secret12 register >"$work/out" 2>&1 || { cat "$work/out"; fail "register"; }
ctl -u alice -p secret12 contacts >"$work/out" 2>&1 || { cat "$work/out"; fail "login"; }

db=$home/.local/share/kavo/KAVO.kavo
[ -f "$db" ] || fail "no database in ~/.local/share/kavo"
[ "$(stat -c %a "$db")" = 600 ] || fail "the database has mode $(stat -c %a "$db")"
[ "$(stat -c %a "$home/.local/share/kavo")" = 700 ] || fail "its folder has mode $(stat -c %a "$home/.local/share/kavo")"
for side in "$db-wal" "$db-shm"; do
  if [ -e "$side" ]; then [ "$(stat -c %a "$side")" = 600 ] || fail "$side is not private"; fi
done
[ "$(stat -c %U "$db")" = "$(run_user id -un)" ] || fail "the database is not the user's"
ls "$prefix/bin" | grep -q -i kavo.kavo && fail "a database appeared in bin/"

# The address-book import loads the library from lib/kavo and reads the user's folder.
run_user mkdir -p "$home/.local/share/kavo/addressbook"
printf 'BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Zhang San\r\nTEL;TYPE=CELL:13900000000\r\nEND:VCARD\r\n' \
  | run_user sh -c 'cat > "$HOME/.local/share/kavo/addressbook/a.vcf"'
ctl -u alice -p secret12 import-addressbook >"$work/out" 2>&1 </dev/null || { cat "$work/out"; fail "import-addressbook"; }
ctl -u alice -p secret12 contacts >"$work/out" 2>&1 || fail "contacts"
grep -q "Zhang San" "$work/out" || { cat "$work/out"; fail "the imported contact is missing"; }

# A database that an older copy left readable by everybody is closed, and that is said once.
chmod 644 "$db"
ctl -u alice -p secret12 contacts >"$work/out" 2>"$work/err" || fail "contacts"
grep -q "$db" "$work/err" || { cat "$work/err"; fail "the tightening was not reported"; }
[ "$(stat -c %a "$db")" = 600 ] || fail "the database was not tightened"
ctl -u alice -p secret12 contacts >"$work/out" 2>"$work/err" || fail "contacts"
! grep -q "$db" "$work/err" || fail "the tightening was reported twice"

# The logged-in guard in the user's folder. Another copy runs (here one waiting for its
# password), so start-up leaves LoginState alone; the login's lock file beside the user's
# database decides: held by a live process, the login is refused; its holder gone, the
# state is stale and cleared.
run_user sqlite3 "$db" "update KAVO_USER set LoginState=2 where UserName='alice'"
mkfifo "$work/password"
chmod 666 "$work/password"
ctl -u alice -p - contacts <"$work/password" >/dev/null 2>&1 &
waiting=$!
exec 4>"$work/password"  # opened for writing: the waiting copy blocks on its read
for _ in $(seq 100); do
  pgrep -u "$(run_user id -u)" -x kavoctl >/dev/null && break
  sleep 0.1
done
pgrep -u "$(run_user id -u)" -x kavoctl >/dev/null || fail "the waiting copy did not start"
lock="$db-$(printf alice | od -An -tx1 | tr -d ' \n').lock"
run_user flock "$lock" sleep 60 &
holder=$!
for _ in $(seq 100); do
  run_user flock -n "$lock" true 2>/dev/null || break
  sleep 0.1
done
if ctl -u alice -p secret12 contacts >"$work/out" 2>&1; then fail "logged in beside a live copy that holds the login"; fi
grep -q "当前用户名已在系统其它进程中被登录使用" "$work/out" || { cat "$work/out"; fail "the guard's message"; }
kill "$holder"; wait "$holder" 2>/dev/null || true
pkill -u "$(run_user id -u)" -x sleep 2>/dev/null || true
ctl -u alice -p secret12 contacts >"$work/out" 2>&1 || { cat "$work/out"; fail "a login whose copy is gone was not cleared"; }
exec 4>&-
wait "$waiting" || true

# --dir overrides every folder.
run_user mkdir "$home/portable"
run_user cp "$home/.config/kavo/KAVO.cfg" "$home/portable/"
ctl --dir "$home/portable" -u alice -p secret12 contacts >"$work/out" 2>&1 || { cat "$work/out"; fail "contacts --dir"; }
[ "$(stat -c %a "$home/portable/KAVO.kavo")" = 600 ] || fail "the --dir database is not private"

echo "installed programs work from $prefix as $(run_user id -un)"
