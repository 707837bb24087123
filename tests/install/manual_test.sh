#!/usr/bin/env bash
# The manual page renders without a single warning from man/groff, its
# letters are the README's, and its NAME section is one that mandb can index
# for apropos/whatis.
set -euo pipefail
page=$1
command -v man >/dev/null || { echo "man is not installed"; exit 77; }

warnings=$(MANWIDTH=80 LC_ALL=C.UTF-8 man --warnings -l "$page" 2>&1 >/dev/null)
if [[ -n $warnings ]]; then
  echo "man --warnings -l $page:"
  echo "$warnings"
  exit 1
fi

# Letters beyond ASCII are written as glyph escapes in the page: each one it
# renders must be one the README writes too.
readme=$2
for letter in $(MANWIDTH=80 LC_ALL=C.UTF-8 man -l "$page" 2>/dev/null | LC_ALL=C.UTF-8 grep -o '[[:alpha:]]' |
  LC_ALL=C grep '[^ -~]' | sort -u); do
  grep -q "$letter" "$readme" || { echo "the page renders $letter, which $readme never writes"; exit 1; }
done

if command -v lexgrog >/dev/null; then
  whatis=$(lexgrog "$page")
  [[ $whatis == *'"rowsift - '* ]] || { echo "NAME section not understood: $whatis"; exit 1; }
fi
