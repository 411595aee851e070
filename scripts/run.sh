#!/usr/bin/env bash
# Installs the dependencies, builds, and starts Tarnwick; with --demo, against the demo SQL Server.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "Tarnwick is built (build/tarnwick), but there is no display to show its window on." >&2
  echo "Run it from a desktop session, or under Xvfb: xvfb-run build/tarnwick" >&2
  exit 1
fi
if [ "${1:-}" = "--demo" ]; then
  shift
  exec bash scripts/demo/run-demo.sh "$@"
fi
exec build/tarnwick "$@"
