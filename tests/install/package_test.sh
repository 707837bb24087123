#!/usr/bin/env bash
# `cpack -G DEB` makes a package with the tool, the compressed manual page
# where Debian keeps it, and dependencies on the libraries the tool links.
set -euo pipefail
build=$1
command -v dpkg-deb >/dev/null || { echo "dpkg-deb is not installed"; exit 77; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

(cd "$build" && cpack -G DEB -B "$tmp" >"$tmp/cpack.log") || { cat "$tmp/cpack.log"; exit 1; }
deb=$(echo "$tmp"/rowsift_*.deb)
[[ -f $deb ]] || { echo "no package in $tmp"; ls "$tmp"; exit 1; }

contents=$(dpkg-deb -c "$deb")
fail=0
for path in ./usr/bin/rowsift ./usr/share/man/man1/rowsift.1.gz; do
  grep -q " $path\$" <<<"$contents" || { echo "package lacks $path"; fail=1; }
done
grep -q 'rowsift\.1$' <<<"$contents" && { echo "package holds an uncompressed manual page"; fail=1; }

depends=$(dpkg-deb -f "$deb" Depends)
for lib in libicu libc6 libstdc++; do
  [[ $depends == *"$lib"* ]] || { echo "Depends lacks $lib: $depends"; fail=1; }
done
[[ $(dpkg-deb -f "$deb" Section) == utils ]] || { echo "section is not utils"; fail=1; }
[[ -n $(dpkg-deb -f "$deb" Maintainer) ]] || { echo "no maintainer"; fail=1; }

# The compressed page is a manual page man can read without warnings.
dpkg-deb -x "$deb" "$tmp/root"
if command -v man >/dev/null; then
  warnings=$(MANWIDTH=80 LC_ALL=C.UTF-8 man --warnings -l "$tmp/root/usr/share/man/man1/rowsift.1.gz" 2>&1 >/dev/null)
  [[ -z $warnings ]] || { echo "packaged page: $warnings"; fail=1; }
fi
exit $fail
