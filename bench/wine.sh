#!/usr/bin/env bash
# The Windows build under Wine against the Linux build on data set a of
# run.sh (10M lines, 1M distinct), in the same rounds: median wall times of
# the runs and their ratio. Both read the set in code page 1252 and must write
# the same bytes. See bench/README.md.
#
#   bench/wine.sh [--runs N] [--linux PATH] [--windows PATH]
#
# Defaults: build/rowsift and build-win/rowsift.exe of this repository, 3 runs.
set -euo pipefail
export LC_ALL=C

repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
linux="$repo_root/build/rowsift"
windows="$repo_root/build-win/rowsift.exe"
runs=3
while (($# > 0)); do
  case $1 in
    --runs) runs=$2; shift ;;
    --linux) linux=$2; shift ;;
    --windows) windows=$2; shift ;;
    *) sed -n '2,9p' "$0" >&2; exit 2 ;;
  esac
  shift
done

work=$(mktemp -d)
# The build's own Wine prefix when there is one (made by its tests), else one here.
prefix=$(dirname "$windows")/wineprefix
[[ -d $prefix ]] || prefix=$work/wineprefix
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='
# One Wine server for all runs, so that no run pays for starting Wine's
# session (its services take a second or more); stopped on exit.
wineserver -p >/dev/null 2>&1 </dev/null &
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT

g++ -O2 -std=c++20 -o "$work/gen_data" "$repo_root/bench/gen_data.cpp"
"$work/gen_data" "$work/a.txt" --lines 10000000 --distinct 1000000 --min-len 40 --max-len 76 --seed 1
: >"$work/empty.txt"
LC_ALL=en_US.UTF-8 wine "$windows" "$work/empty.txt" "$work/warm.txt"  # Wine's session comes up

seconds() {  # seconds <command...>: wall time of one run
  local start=$EPOCHREALTIME
  "$@"
  echo "$EPOCHREALTIME - $start" | bc
}
median() { printf '%s\n' "$@" | sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }

linux_times=() windows_times=()
for ((i = 1; i <= runs; i++)); do
  linux_times+=("$(seconds env LC_ALL=en_US.CP1252 "$linux" "$work/a.txt" "$work/linux.txt")")
  windows_times+=("$(seconds env LC_ALL=en_US.UTF-8 wine "$windows" "$work/a.txt" "$work/windows.txt")")
  echo "round $i: Linux ${linux_times[-1]} s, Windows under Wine ${windows_times[-1]} s" >&2
done
cmp -s "$work/linux.txt" "$work/windows.txt" || { echo "the two builds wrote different targets" >&2; exit 1; }
l=$(median "${linux_times[@]}")
w=$(median "${windows_times[@]}")
printf 'set a, median of %d: Linux %.2f s, Windows under Wine %.2f s, ratio %.2f\n' "$runs" "$l" "$w" "$(echo "$w / $l" | bc -l)"
