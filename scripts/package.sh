#!/usr/bin/env bash
# Builds tarnwick_<version>_<arch>.deb for Debian 12 from this tree: the program and its files under
# /usr, the menu entry and icon, the manual page, the licence, and maintainer scripts that register
# FreeTDS as the ODBC driver "SQL Server" when no driver of that name exists.
#
#   bash scripts/package.sh [OUTPUT_DIR]      (default: the project folder)
#
# Builds into build/ first (scripts/build.sh) when the program is not built yet.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
out=$(realpath "${1:-$root}")
version=$(sed -n 's/^project(Tarnwick VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
arch=$(dpkg --print-architecture)
[ -n "$version" ] || { echo "package.sh: no version in CMakeLists.txt" >&2; exit 1; }

[ -x build/tarnwick ] || bash scripts/build.sh
cmake --build build --target tarnwick program_files -j"$(nproc)" >/dev/null

work=$(mktemp -d /tmp/tarnwick-package-XXXXXX)
trap 'rm -rf "$work"' EXIT
stage="$work/stage"
DESTDIR="$stage" cmake --install build --prefix /usr --strip >/dev/null

# Manual page and documentation as Debian keeps them.
gzip -9n "$stage/usr/share/man/man1/tarnwick.1"
doc="$stage/usr/share/doc/tarnwick"
mkdir -p "$doc"
{
  echo "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/"
  echo "Upstream-Name: Tarnwick"
  echo
  echo "Files: *"
  echo "Copyright: 2026 The Tarnwick developers"
  echo "License: Expat"
  echo
  echo "License: Expat"
  tail -n +5 LICENSE | sed 's/^$/./; s/^/ /'
} >"$doc/copyright"
{
  echo "tarnwick ($version) stable; urgency=medium"
  echo
  echo "  * Release $version."
  echo
  echo " -- Tarnwick developers <tarnwick@example.org>  $(date -R -d @"$(git log -1 --format=%ct 2>/dev/null || date +%s)")"
} | gzip -9n >"$doc/changelog.gz"

# What the program needs: the shared libraries it links (as dpkg-shlibdeps finds them), the ODBC
# driver manager's tools and FreeTDS, and the embedded Firebird engine for local database files.
mkdir -p "$work/shlibs/debian"
printf 'Source: tarnwick\n\nPackage: tarnwick\nArchitecture: any\n' >"$work/shlibs/debian/control"
binary=$(find "$stage/usr/lib" -path '*/tarnwick/tarnwick' -type f | head -1)
libs=$(cd "$work/shlibs" && dpkg-shlibdeps -O "$binary" 2>/dev/null | sed -n 's/^shlibs:Depends=//p')
[ -n "$libs" ] || { echo "package.sh: dpkg-shlibdeps found no libraries" >&2; exit 1; }
depends="$libs, odbcinst, unixodbc, tdsodbc, firebird3.0-server-core"

find "$stage" -type d -exec chmod 0755 {} +
find "$stage" -type f -exec chmod 0644 {} +
chmod 0755 "$binary"
# The compiler's notes are of no use to the installed program.
objcopy --remove-section=.comment "$binary"

mkdir -p "$stage/DEBIAN"
cat >"$stage/DEBIAN/control" <<EOF
Package: tarnwick
Version: $version
Architecture: $arch
Maintainer: Tarnwick developers <tarnwick@example.org>
Installed-Size: $(du -sk --exclude=DEBIAN "$stage" | cut -f1)
Depends: $depends
Recommends: firebird3.0-server
Section: database
Priority: optional
Homepage: https://tarnwick.example.org/
Description: copy a Microsoft SQL Server database into Firebird
 Tarnwick copies every user table of a SQL Server database, of every schema,
 into a Firebird database: types as Firebird's own, keys, indexes, identity,
 defaults, CHECK constraints, foreign keys and sequences, with a summary of
 anything it could not carry. It executes the statements at once or shows
 them in a preview where they can be edited and run. A window and a command
 line (tarnwick convert) share the same conversion.
EOF

cat >"$stage/DEBIAN/postinst" <<'EOF'
#!/bin/sh
# Registers FreeTDS as the ODBC driver "SQL Server" when no driver of that name exists, and remembers
# the registration exactly as it made it. A driver the user registered is never changed.
set -e
marker=/var/lib/tarnwick/registered-sql-server-driver
if [ "$1" = "configure" ] && command -v odbcinst >/dev/null 2>&1; then
  if ! odbcinst -q -d -n "SQL Server" >/dev/null 2>&1; then
    lib=$(dpkg -L tdsodbc 2>/dev/null | grep -m1 '/libtdsodbc\.so$' || true)
    if [ -n "$lib" ]; then
      tmpl=$(mktemp)
      printf '[SQL Server]\nDescription=FreeTDS driver for Microsoft SQL Server\nDriver=%s\n' "$lib" >"$tmpl"
      odbcinst -i -d -f "$tmpl" >/dev/null
      rm -f "$tmpl"
      mkdir -p /var/lib/tarnwick
      odbcinst -q -d -n "SQL Server" >"$marker" 2>/dev/null || : >"$marker"
    fi
  fi
fi
exit 0
EOF

cat >"$stage/DEBIAN/postrm" <<'EOF'
#!/bin/sh
# On purge, takes back the ODBC driver registration this package made, and only while it is still
# exactly as the package made it: one the user registered again or edited since stays.
set -e
marker=/var/lib/tarnwick/registered-sql-server-driver
if [ "$1" = "purge" ]; then
  if [ -s "$marker" ] && command -v odbcinst >/dev/null 2>&1; then
    now=$(odbcinst -q -d -n "SQL Server" 2>/dev/null || true)
    if [ "$now" = "$(cat "$marker")" ]; then
      odbcinst -u -d -n "SQL Server" >/dev/null 2>&1 || true
    fi
  fi
  rm -f "$marker"
  rmdir /var/lib/tarnwick 2>/dev/null || true
fi
exit 0
EOF
chmod 0755 "$stage/DEBIAN/postinst" "$stage/DEBIAN/postrm"
(cd "$stage" && find usr -type f -print0 | sort -z | xargs -0 md5sum) >"$stage/DEBIAN/md5sums"
chmod 0644 "$stage/DEBIAN/control" "$stage/DEBIAN/md5sums"

deb="$out/tarnwick_${version}_${arch}.deb"
dpkg-deb --root-owner-group -Zxz --build "$stage" "$deb" >/dev/null
echo "$deb"
