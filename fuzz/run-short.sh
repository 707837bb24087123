#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each one for a while from the
# committed seed corpus; fails on the first crash, sanitizer report, broken
# invariant or input that takes over 30 s.
#
#   fuzz/run-short.sh [seconds per target, default 60] [build folder, default a temporary one]
#
# New corpus entries go to a scratch folder, never into fuzz/corpus. A failing
# input is kept in $FUZZ_ARTIFACTS (default: <build folder>/fuzz-artifacts, or
# /tmp/rowsift-fuzz-artifacts with a temporary build) and its name printed;
# rerun it with: <build>/fuzz/<target> <file>
set -euo pipefail

seconds=${1:-60}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${2:-}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
if [[ -z $build ]]; then
  build=$scratch/build
  artifacts=${FUZZ_ARTIFACTS:-${TMPDIR:-/tmp}/rowsift-fuzz-artifacts}
else
  artifacts=${FUZZ_ARTIFACTS:-$build/fuzz-artifacts}
fi
mkdir -p "$artifacts"

cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DROWSIFT_BUILD_FUZZ=ON \
  -DROWSIFT_BUILD_TESTS=OFF >"$scratch/configure.log" || { cat "$scratch/configure.log"; exit 1; }

# target:largest input. The reader and the run pad their input internally to
# reach the 65536-byte block and the 60000-byte buffer, so small inputs do.
targets=(fuzz_line_reader:4096 fuzz_case_fold:512 fuzz_duplicate_index:4096 fuzz_dedup_run:4096)
make -C "$build" -j2 "${targets[@]%%:*}" >"$scratch/build.log" || { tail -50 "$scratch/build.log"; exit 1; }

failed=0
for entry in "${targets[@]}"; do
  target=${entry%%:*}
  max_len=${entry##*:}
  mkdir -p "$scratch/corpus-$target"
  echo "== $target: $seconds s"
  if ! "$build/fuzz/$target" "$scratch/corpus-$target" "$root/fuzz/corpus/$target" \
      -max_total_time="$seconds" -max_len="$max_len" -timeout=30 -rss_limit_mb=4096 \
      -print_final_stats=1 -artifact_prefix="$artifacts/$target-" \
      >"$scratch/$target.log" 2>&1; then
    failed=1
    echo "!! $target failed; the last lines of its log:"
    tail -40 "$scratch/$target.log"
    ls "$artifacts" | sed "s|^|   input kept: $artifacts/|"
  else
    grep -E '^stat::number_of_executed_units|^stat::new_units_added|Done [0-9]+ runs' "$scratch/$target.log" | sed 's/^/   /'
  fi
done
exit "$failed"
