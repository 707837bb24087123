#!/usr/bin/env bash
# `cmake --install` into a fresh prefix gives the tool and its manual page,
# and both work from there.
set -euo pipefail
build=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

cmake --install "$build" --prefix "$tmp/prefix" >"$tmp/install.log"
tool=$tmp/prefix/bin/rowsift
page=$tmp/prefix/share/man/man1/rowsift.1
[[ -x $tool ]] || { echo "missing or not executable: bin/rowsift"; find "$tmp/prefix"; exit 1; }
[[ -f $page ]] || { echo "missing: share/man/man1/rowsift.1"; find "$tmp/prefix"; exit 1; }

# The installed binary runs on its own.
cd "$tmp"
printf 'b\nA\na\nb\n' >in.txt
setsid -w "$tool" in.txt out.txt >stdout.txt 2>stderr.txt
[[ $(cat out.txt) == $'b\nA' ]] || { echo "unexpected output:"; cat -A out.txt; exit 1; }
[[ ! -s stdout.txt && ! -s stderr.txt ]] || { echo "unexpected messages:"; cat stdout.txt stderr.txt; exit 1; }

# man finds the page through the prefix, as it would under /usr/local.
if command -v man >/dev/null; then
  MANPATH=$tmp/prefix/share/man MANWIDTH=80 man rowsift 2>&1 | grep -q '^NAME' ||
    { echo "man rowsift does not find the installed page"; exit 1; }
fi
