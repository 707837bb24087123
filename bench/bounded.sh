#!/usr/bin/env bash
# Bounded memory: rowsift with --memory against its own unbounded run and
# against `sort -u -S` at the same budget, on generated data. Prints a
# markdown table of median wall time, peak memory and ratios. See
# bench/README.md.
set -euo pipefail

# The script's own arithmetic and EPOCHREALTIME need a '.' radix.
export LC_ALL=C

usage() {
  cat <<'EOF'
usage: bench/bounded.sh [--quick] [--runs N] [--binary PATH] [--big] [--big-runs N]

  --quick         set d a tenth of the size, 1 run each (unless --runs)
  --runs N        runs of every tool on set d (default 3)
  --binary PATH   the rowsift to measure (default: build/rowsift of this repository)
  --big           also a list of 100M lines at a 256 MiB budget (about 4 GB;
                  needs some 16 GB free where the temporary folder is)
  --big-runs N    runs of every tool on the big list (default 1)

Set d (10M distinct lines, as in run.sh) runs with a budget of one eighth of
the peak memory rowsift's unbounded run takes on it. Data and temporary files
go to a temporary folder that is removed on exit. The table goes to standard
output, progress to standard error.
EOF
}

repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
script=bounded.sh
# shellcheck source=bench/common.sh
source "$repo_root/bench/common.sh"
big=0
big_runs=1

while (($# > 0)); do
  if common_option "$@"; then
    shift "$taken"
    continue
  fi
  case $1 in
    --big) big=1 ;;
    --big-runs)
      big_runs=$(positive_number --big-runs "${2:-}") || exit 2
      shift
      ;;
    *)
      usage >&2
      exit 2
      ;;
  esac
  shift
done
need_tools sort g++ cmp wc

load_start=$(cut -d ' ' -f 1-3 /proc/loadavg)
revision=$(git -C "$repo_root" rev-parse --short HEAD 2> /dev/null || echo unknown)
make_work rowsift-bounded
# rowsift's and sort's temporary files go there too.
export TMPDIR=$work

# run_one set tool input output [budget]: times one command, output to a file.
run_one() {
  local set=$1 tool=$2 input=$3 output=$4 budget=${5:-}
  local locale=C
  local -a cmd
  case $tool in
    rowsift) cmd=("$binary" "$input" "$output" /c) ;;
    rowsift_bounded) cmd=("$binary" "$input" "$output" /c "--memory=$budget") ;;
    sort) cmd=(sort -u -S "$budget" -T "$work" -o "$output" "$input") ;;
    *) log "unknown tool $tool"; exit 1 ;;
  esac
  [[ $tool == rowsift* ]] && locale=C.UTF-8 # as in run.sh

  timed "$set|$tool" "$tool" /dev/null "$locale" "${cmd[@]}"
}

# check set: the bounded run wrote what the unbounded one did, and as many
# lines as sort -u (the data is lower-case, so /c and sort agree on equality).
check() {
  local set=$1 round=$2
  if ! cmp -s "$work/out_rowsift.txt" "$work/out_rowsift_bounded.txt"; then
    problems+=("$set round $round: the bounded target differs from the unbounded one")
    log "  CHECK FAILED: bounded target differs"
  fi
  if [[ -e $work/out_sort.txt && $(wc -l < "$work/out_sort.txt") -ne $(wc -l < "$work/out_rowsift.txt") ]]; then
    problems+=("$set round $round: sort -u and rowsift kept different numbers of lines")
    log "  CHECK FAILED: line counts differ"
  fi
}

declare -A budget_of title_of
sets=""

# ---------------------------------------------------------------- set d
scale=1
((quick)) && scale=10
lines=$((10000000 / scale))
log "[d] generating $lines distinct lines"
"$work/gen_data" "$work/set_d.txt" --lines "$lines" --distinct "$lines" --min-len 28 --max-len 48 --seed 4
sync "$work/set_d.txt"
for ((round = 1; round <= runs; round++)); do
  log "[d] round $round of $runs"
  run_one d rowsift "$work/set_d.txt" "$work/out_rowsift.txt" || true
  if [[ -z ${budget_of[d]:-} ]]; then
    # One eighth of what the unbounded run took, in whole MiB.
    peak_kib=$(tail -n 1 "$work/time.out" | cut -d ' ' -f 2)
    budget_of[d]="$(((peak_kib / 8 + 1023) / 1024))M"
    log "  budget: ${budget_of[d]}"
  fi
  run_one d rowsift_bounded "$work/set_d.txt" "$work/out_rowsift_bounded.txt" "${budget_of[d]}" || true
  run_one d sort "$work/set_d.txt" "$work/out_sort.txt" "${budget_of[d]}" || true
  check d "$round"
done
title_of[d]="d: $((lines / 1000000))M distinct lines, $(($(stat -c %s "$work/set_d.txt") / 1000000)) MB"
rm -f "$work"/set_d.txt "$work"/out_*.txt
sets+=d

# ---------------------------------------------------------------- big
if ((big)); then
  log "[big] generating 100M lines, 50M distinct"
  "$work/gen_data" "$work/big.txt" --lines 100000000 --distinct 50000000 --min-len 28 --max-len 48 --seed 6
  sync "$work/big.txt"
  budget_of[big]=256M
  for ((round = 1; round <= big_runs; round++)); do
    log "[big] round $round of $big_runs"
    run_one big rowsift "$work/big.txt" "$work/out_rowsift.txt" || true
    run_one big rowsift_bounded "$work/big.txt" "$work/out_rowsift_bounded.txt" 256M || true
    run_one big sort "$work/big.txt" "$work/out_sort.txt" 256M || true
    check big "$round"
  done
  title_of[big]="100M lines, 50M distinct (each twice, shuffled), $(($(stat -c %s "$work/big.txt") / 1000000)) MB"
  rm -f "$work"/big.txt "$work"/out_*.txt
  sets+=" big"
fi

# ---------------------------------------------------------------- report
cpu=$(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo)
echo "# rowsift with bounded memory"
echo
echo "- $(date -u '+%Y-%m-%d %H:%M UTC'), ${cpu:-unknown CPU}, $(nproc) cores, $(uname -sr)"
echo "- rowsift: \`$binary\` (repository at $revision); $runs run(s) on set d$( ((big)) && echo ", $big_runs on the big list"); medians"
echo "- $(sort --version | head -n 1); load average at the start: $load_start; at the end: $(cut -d ' ' -f 1-3 /proc/loadavg)"
echo "- all rowsift runs with /c (equality as sort -u in the C locale); temporary files in \`$work\`"
echo
echo "| data set | command | median s | peak MiB | time / unbounded rowsift | sort time / this |"
echo "|---|---|---:|---:|---:|---:|"
for set in $sets; do
  label=${title_of[$set]}
  b=${budget_of[$set]}
  for tool in rowsift rowsift_bounded sort; do
    case $tool in
      rowsift) name="rowsift /c" ;;
      rowsift_bounded) name="rowsift /c --memory=$b" ;;
      sort) name="sort -u -S $b" ;;
    esac
    secs=$(med_seconds "$set" "$tool")
    echo "| $label | \`$name\` | ${secs:-failed} | $(med_mib "$set" "$tool") | $(ratio "$secs" "$(med_seconds "$set" rowsift)") | $(ratio "$(med_seconds "$set" sort)" "$secs") |"
    label=""
  done
done

goal() { # description value comparison threshold
  local verdict="not met"
  if [[ $2 == n/a ]]; then
    verdict="n/a"
  elif awk -v v="$2" -v t="$4" -v op="$3" 'BEGIN { exit !((op == "le" && v <= t) || (op == "gt" && v > t)) }'; then
    verdict="met"
  fi
  echo "| $1 | $2 | $([[ $3 == le ]] && echo "≤" || echo ">") $4 | $verdict |"
}
echo
echo "| goal | value | target | |"
echo "|---|---:|---:|---|"
for set in $sets; do
  bounded=$(med_seconds "$set" rowsift_bounded)
  [[ $set == d ]] && goal "d: bounded time / unbounded time" "$(ratio "$bounded" "$(med_seconds d rowsift)")" le 3
  goal "$set: sort -u -S time / bounded rowsift time" "$(ratio "$(med_seconds "$set" sort)" "$bounded")" gt 1
  budget_mib=${budget_of[$set]%M}
  goal "$set: bounded peak MiB above the budget (${budget_of[$set]})" \
    "$(awk -v p="$(med_mib "$set" rowsift_bounded)" -v b="$budget_mib" 'BEGIN { printf "%.1f", p - b }')" le 8
done

if ((${#problems[@]} > 0)); then
  echo
  echo "## Problems"
  echo
  for problem in "${problems[@]}"; do echo "- $problem"; done
  exit 1
fi
echo
echo "All output checks passed."
