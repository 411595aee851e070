#!/usr/bin/env bash
# Starts the demo SQL Server (the project's TDS endpoint with the demo shop catalogue) on a free
# loopback port, and the program with both panels filled in for it: SQL Server at 127.0.0.1 and that
# port, the Firebird panel on a fresh copy of the sample database in the user's data folder. The user's
# own saved settings are left alone; the endpoint stops when the window closes.
set -euo pipefail
cd "$(dirname "$0")/../.."
work=$(mktemp -d /tmp/tarnwick-demo-XXXXXX)
endpoint=""
cleanup() {
  if [ -n "$endpoint" ]; then kill "$endpoint" 2>/dev/null || true; wait "$endpoint" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

data="${XDG_DATA_HOME:-$HOME/.local/share}/Tarnwick"
mkdir -p "$data"
cp build/Samples/sample.fdb "$data/demo.fdb"
chmod u+w "$data/demo.fdb"

python3 scripts/demo/make-catalog.py > "$work/catalog.json"
python3 tests/tds/tds-endpoint.py 0 "$work/catalog.json" > "$work/port" &
endpoint=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.1; done
port=$(head -1 "$work/port")
[ -n "$port" ] || { echo "The demo source did not start." >&2; exit 1; }

mkdir -p "$work/config/Quorvane"
cat > "$work/config/Quorvane/Quorvane.ini" <<INI
[Tarnwick]
MSSQL%20Server=127.0.0.1
MSSQL%20Port=$port
MSSQL%20User=demo
MSSQL%20Password=demo
MSSQL%20Database=DemoShop
Local%20Connection=0
FireBirdDatabase=$data/demo.fdb
FireBirdUser=SYSDBA
FireBirdPassword=masterkey
INI
echo "Demo SQL Server on 127.0.0.1:$port (user demo, password demo, database DemoShop)."
echo "Converting into $data/demo.fdb."
XDG_CONFIG_HOME="$work/config" build/tarnwick "$@"
