#!/usr/bin/env bash
# Builds the .deb, checks it with lintian, installs it with apt-get, runs the installed program (its
# version, a dry run against the project's TDS endpoint), checks the menu entry, removes and purges it,
# and checks that nothing of it is left. Both ways of the ODBC driver registration are tried: a user's
# own "SQL Server" driver is left alone; without one, the package registers FreeTDS and takes it back on
# purge. Needs root (it installs into the system); exits 77 (skipped) otherwise.
set -euo pipefail
src="$1"
if [ "$(id -u)" -ne 0 ]; then echo "package test: skipped (needs root)"; exit 77; fi
if dpkg-query -W -f='${Status}' tarnwick 2>/dev/null | grep -q "install ok installed"; then
  echo "package test: skipped (a tarnwick package is installed on this machine already)"; exit 77
fi

work=$(mktemp -d /tmp/tarnwick-pkgtest-XXXXXX)
odbc=/etc/odbcinst.ini
cp -p "$odbc" "$work/odbcinst.ini.saved"
endpoint=""
cleanup() {
  [ -n "$endpoint" ] && kill "$endpoint" 2>/dev/null || true
  if dpkg-query -W tarnwick >/dev/null 2>&1; then dpkg --purge tarnwick >/dev/null 2>&1 || true; fi
  cp -p "$work/odbcinst.ini.saved" "$odbc"
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
passed=0
ok() { passed=$((passed + 1)); echo "ok: $*"; }

deb=$(bash "$src/scripts/package.sh" "$work" | tail -1)
[ -s "$deb" ] || fail "no package built"
version=$(sed -n 's/^project(Tarnwick VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")
[ "$(basename "$deb")" = "tarnwick_${version}_$(dpkg --print-architecture).deb" ] || fail "package named $(basename "$deb")"
ok "built $(basename "$deb")"

# lintian: no errors and no warnings (the informational tags are named in the README).
lintian --fail-on error,warning "$deb" >"$work/lintian.log" 2>&1 || { cat "$work/lintian.log" >&2; fail "lintian found errors or warnings"; }
ok "lintian clean"

install_it() {
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$deb" >"$work/apt.log" 2>&1 ||
    { cat "$work/apt.log" >&2; fail "apt-get install failed"; }
}
driver_lib() { odbcinst -q -d -n "SQL Server" 2>/dev/null | sed -n 's/^Driver=//p'; }
# Takes the [SQL Server] section out of the driver list, keeping the rest.
drop_registration() {
  python3 - "$odbc" <<'EOF'
import sys, re
path = sys.argv[1]
text = open(path).read()
text = re.sub(r'(?ms)^\[SQL Server\]\n.*?(?=^\[|\Z)', '', text)
open(path, 'w').write(text)
EOF
}

# 1. The user's own registration stays as it is, through install and purge.
own_before=$(cat "$odbc")
install_it
[ "$(cat "$odbc")" = "$own_before" ] || fail "installing changed the user's driver registration"
[ ! -e /var/lib/tarnwick/registered-sql-server-driver ] || fail "the package claims a registration it did not make"

[ "$(/usr/bin/tarnwick --version)" = "tarnwick $version" ] || fail "tarnwick --version says $(/usr/bin/tarnwick --version)"
ok "installed; tarnwick --version is $version"
desktop-file-validate /usr/share/applications/tarnwick.desktop || fail "menu entry invalid"
[ -s /usr/share/icons/hicolor/scalable/apps/tarnwick.svg ] || fail "no icon"
zcat /usr/share/man/man1/tarnwick.1.gz | grep -q '^\.TH TARNWICK 1' || fail "no manual page"
ok "menu entry, icon and manual page in place"

# A dry run of the installed program against the project's TDS endpoint, into a copy of the sample database.
cat >"$work/shop.json" <<'EOF'
{"database": "shop", "password": "pw", "tables": [
 {"name": "Customers", "columns": [["Id", "int"], ["Name", "nvarchar(40)"]], "rows": [[1, "Ann"], [2, "Bob"]]},
 {"name": "Customer", "schema": "Sales", "columns": [["Id", "int"]], "rows": [[7]]}]}
EOF
python3 "$src/tests/tds/tds-endpoint.py" 0 "$work/shop.json" >"$work/port" 2>/dev/null &
endpoint=$!
for _ in $(seq 50); do [ -s "$work/port" ] && break; sleep 0.1; done
port=$(head -1 "$work/port")
cp /usr/lib/tarnwick/Samples/sample.fdb "$work/target.fdb"
(cd "$work" && env -i HOME="$work" XDG_CONFIG_HOME="$work/config" PATH=/usr/bin:/bin SQLPW=pw FBPW=quillvane \
  /usr/bin/tarnwick convert --server 127.0.0.1 --port "$port" --user sa --database shop --password-env SQLPW \
  --firebird "$work/target.fdb" --firebird-user SYSDBA --firebird-password-env FBPW --overwrite yes \
  --script "$work/dry.sql" >"$work/convert.log" 2>&1) || { cat "$work/convert.log" >&2; fail "the dry run failed"; }
grep -q 'CREATE TABLE "Customers"' "$work/dry.sql" || fail "the dry run wrote no CREATE TABLE"
grep -q 'CREATE TABLE "Sales.Customer"' "$work/dry.sql" || fail "the dry run left out the table of schema Sales"
ok "dry run of the installed program against the endpoint"

DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq tarnwick >/dev/null 2>&1 || fail "apt-get remove failed"
for f in /usr/bin/tarnwick /usr/lib/tarnwick /usr/share/applications/tarnwick.desktop \
         /usr/share/man/man1/tarnwick.1.gz /usr/share/icons/hicolor/scalable/apps/tarnwick.svg /usr/share/doc/tarnwick; do
  [ ! -e "$f" ] || fail "$f is left after removal"
done
dpkg --purge tarnwick >/dev/null
[ "$(cat "$odbc")" = "$own_before" ] || fail "purging changed the user's driver registration"
ok "removed and purged; the user's driver registration unchanged"

# 2. No "SQL Server" driver: the package registers FreeTDS, and takes it back on purge.
drop_registration
[ -z "$(driver_lib)" ] || fail "could not take the driver registration away for the test"
install_it
case "$(driver_lib)" in *libtdsodbc.so) ;; *) fail "the package did not register FreeTDS as \"SQL Server\"";; esac
[ -e /var/lib/tarnwick/registered-sql-server-driver ] || fail "the package did not note its registration"
DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq tarnwick >/dev/null 2>&1
[ -n "$(driver_lib)" ] || fail "remove (not purge) took the driver registration away"
dpkg --purge tarnwick >/dev/null
[ -z "$(driver_lib)" ] || fail "purge left the package's driver registration"
[ ! -e /var/lib/tarnwick ] || fail "/var/lib/tarnwick is left after purge"
ok "registered FreeTDS when no driver was there; purge took it back"

# 3. The package's registration, changed by the user afterwards (registered again to another library,
# or edited in place), stays through purge.
sqlite_lib=$(dpkg -L libsqliteodbc | grep -m1 '/libsqlite3odbc\.so$')
for change in reregister edit; do
  install_it
  [ -s /var/lib/tarnwick/registered-sql-server-driver ] || fail "the package did not note its registration"
  if [ "$change" = reregister ]; then
    odbcinst -u -d -n "SQL Server" >/dev/null
    printf '[SQL Server]\nDescription=registered by the user\nDriver=%s\n' "$sqlite_lib" >"$work/own.tmpl"
    odbcinst -i -d -f "$work/own.tmpl" >/dev/null
  else
    sed -i 's/^Description=FreeTDS driver for Microsoft SQL Server$/Description=edited by the user/' "$odbc"
  fi
  changed=$(odbcinst -q -d -n "SQL Server")
  dpkg --purge tarnwick >/dev/null
  [ "$(odbcinst -q -d -n "SQL Server")" = "$changed" ] || fail "purge took away a registration the user changed ($change)"
  [ ! -e /var/lib/tarnwick ] || fail "/var/lib/tarnwick is left after purge"
  drop_registration
done
ok "a registration the user changed after installing stays through purge"

echo "package test: $passed passed, 0 failed"
