#!/usr/bin/env bash
# Installs what Tarnwick needs to build, run and test on Debian 12, and registers FreeTDS as the
# ODBC driver "SQL Server" when no driver of that name exists. Safe to run again.
set -euo pipefail

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

PACKAGES=(
  build-essential cmake pkg-config
  qt6-base-dev libgl-dev libglx-dev
  unixodbc unixodbc-dev tdsodbc libsqliteodbc
  libfbclient2 firebird-dev firebird3.0-server-core firebird3.0-server firebird3.0-utils
  fonts-liberation fontconfig
  libgtest-dev python3 openssl strace desktop-file-utils xvfb xauth x11-utils
  dpkg-dev lintian man-db
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

if ! odbcinst -q -d -n "SQL Server" >/dev/null 2>&1; then
  lib=$(dpkg -L tdsodbc | grep -m1 '/libtdsodbc\.so$')
  tmpl=$(mktemp)
  printf '[SQL Server]\nDescription=FreeTDS driver for Microsoft SQL Server\nDriver=%s\n' "$lib" > "$tmpl"
  $SUDO odbcinst -i -d -f "$tmpl" >/dev/null
  rm -f "$tmpl"
  echo "Registered FreeTDS as the ODBC driver \"SQL Server\"."
fi
