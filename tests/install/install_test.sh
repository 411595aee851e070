#!/usr/bin/env bash
# Installs the built program into a temporary prefix, checks that every file lands where the program
# and the desktop look for it, and starts the installed program offscreen.
set -euo pipefail
build="$1"
prefix=$(mktemp -d /tmp/tarnwick-install-XXXXXX)
home=$(mktemp -d /tmp/tarnwick-home-XXXXXX)
pid=""
cleanup() {
  # The program (and strace, when it watches) must not outlive the test.
  pkill -KILL -f "$prefix/" 2>/dev/null || true
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then kill -KILL "$pid" 2>/dev/null || true; fi
  rm -rf "$prefix" "$home"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null

libdir=$(find "$prefix" -maxdepth 2 -type d -name tarnwick -path '*/lib*' | head -1)
[ -n "$libdir" ] || fail "no program folder under $prefix"
for f in tarnwick HAND-M.CUR local-connection-example.jpg Samples/sample.fdb; do
  [ -s "$libdir/$f" ] || fail "missing $libdir/$f"
done
[ -L "$prefix/bin/tarnwick" ] || fail "no link $prefix/bin/tarnwick"
[ "$(readlink -f "$prefix/bin/tarnwick")" = "$(readlink -f "$libdir/tarnwick")" ] || fail "bin/tarnwick points elsewhere"
desktop="$prefix/share/applications/tarnwick.desktop"
[ -s "$desktop" ] || fail "missing $desktop"
[ -s "$prefix/share/icons/hicolor/scalable/apps/tarnwick.svg" ] || fail "missing the icon"
grep -qx 'Exec=tarnwick' "$desktop" || fail "desktop entry does not start tarnwick"
grep -qx 'Icon=tarnwick' "$desktop" || fail "desktop entry does not name the icon"
if command -v desktop-file-validate >/dev/null; then desktop-file-validate "$desktop" || fail "desktop entry invalid"; fi

# The manual page is there and names every option that --help names, and the version it prints.
man="$prefix/share/man/man1/tarnwick.1"
[ -s "$man" ] || fail "missing $man"
plain=$(sed 's/\\-/-/g' "$man")
for option in $("$prefix/bin/tarnwick" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
  grep -q -- "$option" <<<"$plain" || fail "the manual page does not name $option"
done
version=$("$prefix/bin/tarnwick" --version | awk '{print $2}')
grep -q "Tarnwick $version" "$man" || fail "the manual page is not of version $version"

# Start the installed program through its link, away from the build tree, and watch which program
# files it opens: they must come from the installed folder.
trace="$home/trace"
cd "$home"
if strace -f -qq -o /dev/null true 2>/dev/null; then
  env -i HOME="$home" XDG_CONFIG_HOME="$home/config" QT_QPA_PLATFORM=offscreen PATH="/usr/bin:/bin" \
    strace -f -qq -e trace=openat -o "$trace" "$prefix/bin/tarnwick" >"$home/out" 2>&1 &
else
  env -i HOME="$home" XDG_CONFIG_HOME="$home/config" QT_QPA_PLATFORM=offscreen PATH="/usr/bin:/bin" \
    "$prefix/bin/tarnwick" >"$home/out" 2>&1 &
fi
pid=$!
sleep 4
kill -0 "$pid" 2>/dev/null || { cat "$home/out" >&2; fail "the installed program did not stay up"; }
pkill -KILL -f "$prefix/bin/tarnwick" 2>/dev/null || true
kill -KILL "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true
pid=""
if pgrep -f "$prefix/" >/dev/null; then fail "the installed program is still running"; fi
if [ -f "$trace" ]; then
  grep -q "\"$libdir/HAND-M.CUR\"" "$trace" || fail "the installed program did not read its hand cursor"
fi
echo "install test: 1 passed, 0 failed"
