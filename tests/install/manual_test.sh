#!/usr/bin/env bash
# The manual page renders without a single warning from man/groff, and its
# NAME section is one that mandb can index for apropos/whatis.
set -euo pipefail
page=$1
command -v man >/dev/null || { echo "man is not installed"; exit 77; }

warnings=$(MANWIDTH=80 LC_ALL=C.UTF-8 man --warnings -l "$page" 2>&1 >/dev/null)
if [[ -n $warnings ]]; then
  echo "man --warnings -l $page:"
  echo "$warnings"
  exit 1
fi

# Every letter beyond ASCII it renders is one the README writes: a glyph escape is easily mistyped.
for letter in $(LC_ALL=C.UTF-8 man -l "$page" 2>/dev/null | LC_ALL=C.UTF-8 grep -o '[^ -~[:punct:][:space:]]'); do
  grep -q "$letter" "$2" || { echo "the page renders $letter, which $2 never writes"; exit 1; }
done

if command -v lexgrog >/dev/null; then
  whatis=$(lexgrog "$page")
  [[ $whatis == *'"rowsift - '* ]] || { echo "NAME section not understood: $whatis"; exit 1; }
fi
