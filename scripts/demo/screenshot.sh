#!/usr/bin/env bash
# Makes the README's pictures again (docs/demo-*.png): the demo source on a
# loopback port, a conversion with the preview on into a fresh copy of the sample, offscreen.
set -euo pipefail
cd "$(dirname "$0")/../.."
bash scripts/build.sh >/dev/null
work=$(mktemp -d /tmp/tarnwick-shot-XXXXXX)
endpoint=""
cleanup() {
  if [ -n "$endpoint" ]; then kill "$endpoint" 2>/dev/null || true; wait "$endpoint" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
python3 scripts/demo/make-catalog.py > "$work/catalog.json"
python3 tests/tds/tds-endpoint.py 0 "$work/catalog.json" > "$work/port" &
endpoint=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.1; done
cp build/Samples/sample.fdb "$work/demo.fdb"
mkdir -p docs
XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=offscreen build/demo_screenshot "$(head -1 "$work/port")" \
  "$work/demo.fdb" docs
echo "Wrote docs/demo-tables.png, docs/demo-progress.png, docs/demo-preview.png and docs/demo-main.png."
