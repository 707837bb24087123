#!/usr/bin/env bash
# The Windows package: a ZIP of rowsift.exe, the README and the manual as
# plain text; rowsift.exe needs no DLL beyond the system's own.
set -euo pipefail
build=$1
objdump=$2
command -v unzip >/dev/null || { echo "unzip is not installed"; exit 77; }

# The system's DLLs: the C runtime every Windows has, and the API sets.
dlls=$("$objdump" -p "$build/rowsift.exe" | sed -n 's/^\s*DLL Name: //p')
echo "rowsift.exe imports: $(echo $dlls)"
for dll in $dlls; do
  case ${dll,,} in
    kernel32.dll | msvcrt.dll | shell32.dll | user32.dll | advapi32.dll | api-ms-win-*) ;;
    *) echo "FAILED: rowsift.exe needs $dll"; exit 1 ;;
  esac
done

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
(cd "$build" && cpack -B "$tmp" >/dev/null)
zip=$(ls "$tmp"/rowsift-*-win64.zip)
listing=$(unzip -Z1 "$zip" | sort | tr '\n' ' ')
[[ $listing == "README.md rowsift.exe rowsift.txt " ]] || { echo "FAILED: the package holds $listing"; exit 1; }
unzip -q -d "$tmp/x" "$zip"
grep -q "remove duplicate lines" "$tmp/x/rowsift.txt" || { echo "FAILED: no manual text"; exit 1; }
if LC_ALL=C grep -q $'[\x08\x1b]' "$tmp/x/rowsift.txt"; then echo "FAILED: the manual is not plain text"; exit 1; fi
echo "package: $listing"
