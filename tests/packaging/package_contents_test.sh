#!/usr/bin/env bash
# What the packages hold, what they depend on, and what lintian, desktop-file-validate and
# appstreamcli say about them.
#   package_contents_test.sh SOURCE_DIR PACKAGE_DIR
set -euo pipefail
src=$1
out=$2
fail() { echo "FAIL: $*" >&2; exit 1; }
client=$(ls "$out"/kavo_*_amd64.deb)
server=$(ls "$out"/kavo-server_*_amd64.deb)

contents() { dpkg-deb -c "$1" | awk '{print $6}' | sed 's|^\./|/|; s|/$||'; }
contents "$client" >"$out/client.list"
contents "$server" >"$out/server.list"
expect() {
  local list=$1; shift
  for f in "$@"; do grep -qx -- "$f" "$list" || fail "$f is not in $(basename "$list" .list)'s package"; done
}
expect "$out/client.list" /usr/bin/kavo /usr/bin/kavoctl /usr/lib/kavo/libpelbook.so \
  /usr/share/kavo/KAVO.cfg /usr/share/applications/com.norvane.Kavo.desktop \
  /usr/share/metainfo/com.norvane.Kavo.metainfo.xml \
  /usr/share/icons/hicolor/scalable/apps/kavo.svg /usr/share/icons/hicolor/16x16/apps/kavo.png \
  /usr/share/icons/hicolor/256x256/apps/kavo.png \
  /usr/share/man/man1/kavo.1.gz /usr/share/man/man1/kavoctl.1.gz \
  /usr/share/doc/kavo/copyright /usr/share/doc/kavo/changelog.gz
expect "$out/server.list" /usr/bin/kavo-server /usr/lib/systemd/system/kavo-server.service \
  /etc/default/kavo-server /usr/share/man/man1/kavo-server.1.gz /usr/share/doc/kavo-server/copyright
! grep -q kavo-server "$out/client.list" || fail "the client package holds server files"
! grep -qE '/usr/bin/kavo$|/usr/bin/kavoctl$|libpelbook' "$out/server.list" || fail "the server package holds client files"
! grep -qE '^/usr/local|^/home|^/root|^/work|KAVO\.kavo' "$out/client.list" "$out/server.list" \
  || fail "a package holds files from the build machine"

# Depends as dpkg-shlibdeps computed it.
client_deps=$(dpkg-deb -f "$client" Depends)
echo "kavo Depends: $client_deps"
for lib in libc6 libqt6widgets6 libsqlite3-0 libstdc++6; do
  grep -q "$lib" <<<"$client_deps" || fail "kavo does not depend on $lib"
done
server_deps=$(dpkg-deb -f "$server" Depends)
echo "kavo-server Depends: $server_deps"
grep -q libsqlite3-0 <<<"$server_deps" || fail "kavo-server does not depend on libsqlite3-0"
! grep -q qt6 <<<"$server_deps" || fail "kavo-server depends on Qt"
grep -qx /etc/default/kavo-server < <(dpkg-deb -I "$server" conffiles) || fail "/etc/default/kavo-server is not a conffile"

# lintian: no errors; what else it says is listed.
for deb in "$client" "$server"; do
  lintian --tag-display-limit 0 --fail-on error "$deb" | tee "$out/lintian.log" || fail "lintian reports errors for $(basename "$deb")"
done

desktop-file-validate "$src/packaging/com.norvane.Kavo.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net --explain "$src/packaging/com.norvane.Kavo.metainfo.xml" || fail "appstreamcli validate"
echo "packages look right"
