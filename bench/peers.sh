#!/usr/bin/env bash
# rowsift against the fast tools of its kind, rling and duplicut, on lines
# that are mostly distinct and on lines that repeat, in the same rounds.
# Prints a markdown table of median wall time, peak memory and ratios. The
# peers are not part of this repository: build them from their public
# sources with their own makefiles and pass their paths. See bench/README.md.
set -euo pipefail

# The script's own arithmetic and EPOCHREALTIME need a '.' radix.
export LC_ALL=C

usage() {
  cat <<'EOF'
usage: bench/peers.sh [--quick] [--runs N] [--binary PATH] [--baseline PATH]
                      [--rling PATH] [--duplicut PATH] [--sets NAMES] [--exact]

  --quick          sets a tenth of the size, 1 run each (unless --runs)
  --runs N         rounds (default 3)
  --binary PATH    the rowsift to measure (default: build/rowsift of this repository)
  --baseline PATH  an earlier rowsift to hold the sets of repeated lines against
  --rling PATH     the rling program; left out when not given
  --duplicut PATH  the duplicut program; left out when not given
  --sets NAMES     a subset of: distinct words heavy long (default: all)
  --exact          also rowsift --exact and rowsift /c --exact, held against
                   the same without --exact; their private memory is sampled
                   on one more run of each

Sets: distinct, 10M distinct lines of 28-48 characters; words, 30M lines of
8-14 characters, 13M of them distinct, each repeated about twice in a random
order, like a wordlist put together from several; heavy, 10M lines, 1M
distinct, each ten times; long, 500k lines of about 1 KB, 50k distinct. Every
tool runs once per round on each set, in turn, so that a slow spell of the
machine hits all alike; rowsift runs with /c and without, and with /c and
--threads=1. Outputs are compared with rowsift /c's (all tools keep the first
occurrence of each line, in order; duplicut leaves out lines of more than
255 bytes, so its output on the long set is not compared). The table goes to
standard output, progress to standard error.
EOF
}

repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
script=peers.sh
# shellcheck source=bench/common.sh
source "$repo_root/bench/common.sh"
baseline=""
rling=""
duplicut=""
sets="distinct words heavy long"
exact=0

path_option() {  # option value: the value made absolute, or exit 2
  [[ -n $2 && -x $2 ]] || { echo "$script: $1 needs the path of a program" >&2; exit 2; }
  [[ $2 == /* ]] && echo "$2" || echo "$PWD/$2"
}

while (($# > 0)); do
  if common_option "$@"; then
    shift "$taken"
    continue
  fi
  case $1 in
    --baseline) baseline=$(path_option "$1" "${2:-}") ;;
    --rling) rling=$(path_option "$1" "${2:-}") ;;
    --duplicut) duplicut=$(path_option "$1" "${2:-}") ;;
    --sets) sets=${2:-} ;;
    --exact)
      exact=1
      shift
      continue
      ;;
    *)
      usage >&2
      exit 2
      ;;
  esac
  shift 2
done
need_tools g++ cmp

scale=1
((quick)) && scale=10
load_start=$(cut -d ' ' -f 1-3 /proc/loadavg)
revision=$(git -C "$repo_root" rev-parse --short HEAD 2> /dev/null || echo unknown)
make_work rowsift-peers
export TMPDIR=$work

declare -A set_args set_distinct set_title
set_args[distinct]="--lines $((10000000 / scale)) --distinct $((10000000 / scale)) --min-len 28 --max-len 48 --seed 4"
set_distinct[distinct]=$((10000000 / scale))
set_title[distinct]="10M distinct lines"
set_args[words]="--lines $((30000000 / scale)) --distinct $((13000000 / scale)) --min-len 8 --max-len 14 --seed 7"
set_distinct[words]=$((13000000 / scale))
set_title[words]="wordlist: 30M lines, 13M distinct"
set_args[heavy]="--lines $((10000000 / scale)) --distinct $((1000000 / scale)) --min-len 40 --max-len 76 --seed 1"
set_distinct[heavy]=$((1000000 / scale))
set_title[heavy]="10M lines, 1M distinct"
set_args[long]="--lines $((500000 / scale)) --distinct $((50000 / scale)) --min-len 800 --max-len 1248 --seed 5"
set_distinct[long]=$((50000 / scale))
set_title[long]="500k lines of ~1 KB, 50k distinct"

tools=(rowsift_c rowsift rowsift_c1)
((exact)) && tools+=(rowsift_c_exact rowsift_exact)
[[ -n $baseline ]] && tools+=(baseline_c baseline)
[[ -n $rling ]] && tools+=(rling)
[[ -n $duplicut ]] && tools+=(duplicut)

# tool_command tool input output: sets cmd to the tool's command line and
# locale to the locale it runs in.
tool_command() {
  local input=$2 output=$3
  locale=C.UTF-8
  case $1 in
    rowsift_c) cmd=("$binary" "$input" "$output" /c) ;;
    rowsift) cmd=("$binary" "$input" "$output") ;;
    rowsift_c1) cmd=("$binary" "$input" "$output" /c --threads=1) ;;
    rowsift_c_exact) cmd=("$binary" "$input" "$output" /c --exact) ;;
    rowsift_exact) cmd=("$binary" "$input" "$output" --exact) ;;
    baseline_c) cmd=("$baseline" "$input" "$output" /c) ;;
    baseline) cmd=("$baseline" "$input" "$output") ;;
    rling) cmd=("$rling" "$input" "$output") locale=C ;;
    duplicut) cmd=("$duplicut" "$input" -o "$output") locale=C ;;
  esac
  # An output left from the round before would be cut first. Each tool
  # starts with nothing left to write back: the outputs of the tools before
  # it (hundreds of MB each) would otherwise be written to disk while it
  # runs, by the kernel's threads, on the same processors.
  rm -f "$output"
  sync
}

# run_one set tool input: times one command, its output to a file of its own.
run_one() {
  local locale stdout=/dev/null
  local -a cmd
  tool_command "$2" "$3" "$work/out.$2"
  timed "$1|$2" "$2" "$stdout" "$locale" "${cmd[@]}"
}

# peak_private_kib set tool: runs the tool once more on the set, and prints
# the most private (anonymous) memory it was seen to hold, sampled every 5 ms.
declare -A private
peak_private_kib() {
  local locale peak=0 kib pid
  local -a cmd
  tool_command "$2" "$work/$1.txt" "$work/out.$2"
  LC_ALL=$locale "${cmd[@]}" < /dev/null > /dev/null 2>&1 &
  pid=$!
  # A process that has ended but is not yet waited for has no RssAnon.
  while kib=$(awk '/^RssAnon:/ { print $2; found = 1 } END { exit !found }' "/proc/$pid/status" 2> /dev/null); do
    ((kib > peak)) && peak=$kib
    sleep 0.005
  done
  wait "$pid" || problems+=("$1: $2 failed while its memory was sampled")
  echo "$peak"
}

for set in $sets; do
  [[ -n ${set_args[$set]:-} ]] || { echo "$script: no set '$set'" >&2; exit 2; }
  log "[$set] generating ${set_title[$set]}"
  # shellcheck disable=SC2086  # the arguments are split on purpose
  "$work/gen_data" "$work/$set.txt" ${set_args[$set]}
  for ((round = 1; round <= runs; ++round)); do
    log "[$set] round $round of $runs"
    for tool in "${tools[@]}"; do run_one "$set" "$tool" "$work/$set.txt" || true; done
  done
  # The data is lower-case: with or without /c, every tool keeps the same lines.
  for tool in "${tools[@]}"; do
    [[ $tool == rowsift_c || ! -e $work/out.$tool ]] && continue
    # duplicut leaves lines of more than 255 bytes out of its output.
    [[ $set == long && $tool == duplicut ]] && continue
    cmp -s "$work/out.rowsift_c" "$work/out.$tool" || problems+=("$set: $tool wrote other lines than rowsift /c")
  done
  # --exact maps the source to read lines again: peak RSS then counts the
  # source's pages, which the system caches for every run alike (each reads
  # the file through that cache). The memory a run takes beyond it, its
  # private memory, is sampled once more on runs of their own.
  if ((exact)) && [[ $set != long ]]; then
    for tool in rowsift_c rowsift_c_exact rowsift rowsift_exact; do
      private["$set|$tool"]=$(peak_private_kib "$set" "$tool")
    done
  fi
  rm -f "$work/$set.txt" "$work"/out.*
done

fastest_peer() {  # set: the peer with the least median time
  local best="" best_time="" t peer
  for peer in rling duplicut; do
    t=$(med_seconds "$1" "$peer")
    [[ -z $t ]] && continue
    if [[ -z $best_time ]] || awk -v a="$t" -v b="$best_time" 'BEGIN { exit !(a < b) }'; then
      best=$peer best_time=$t
    fi
  done
  echo "$best"
}

echo "Medians of $runs rounds, $(date -u '+%Y-%m-%d %H:%M UTC'), rowsift $revision, $(nproc) processors, load at start $load_start."
echo
echo "| set | tool | seconds | peak MiB | bytes per distinct line | time / fastest peer |"
echo "|---|---|---:|---:|---:|---:|"
for set in $sets; do
  peer=$(fastest_peer "$set")
  for tool in "${tools[@]}"; do
    t=$(med_seconds "$set" "$tool")
    [[ -z $t ]] && continue
    m=$(med_mib "$set" "$tool")
    per=$(awk -v m="$m" -v n="${set_distinct[$set]}" 'BEGIN { printf "%.1f", m * 1048576 / n }')
    vs="n/a"
    [[ -n $peer ]] && vs=$(ratio "$t" "$(med_seconds "$set" "$peer")")
    echo "| ${set_title[$set]} | $tool | $t | $m | $per | $vs |"
  done
done

# The goals, as ratios of this one run.
echo
echo "| goal | value | target | met |"
echo "|---|---:|---:|---|"
goal() {  # label value le|ge target
  local met=no
  if [[ $2 == n/a ]]; then
    met=n/a
  elif awk -v v="$2" -v t="$4" -v op="$3" 'BEGIN { exit !(op == "le" ? v <= t : v >= t) }'; then
    met=yes
  fi
  echo "| $1 | $2 | $3 $4 | $met |"
}
for set in distinct words; do
  [[ " $sets " == *" $set "* ]] || continue
  peer=$(fastest_peer "$set")
  if [[ -n $peer ]]; then
    goal "$set: rowsift /c / $peer" "$(ratio "$(med_seconds "$set" rowsift_c)" "$(med_seconds "$set" "$peer")")" le 0.6
    goal "$set: rowsift / $peer" "$(ratio "$(med_seconds "$set" rowsift)" "$(med_seconds "$set" "$peer")")" le 0.75
  fi
  ((quick)) && continue  # a small set's memory is mostly the fixed floor
  goal "$set: bytes of peak memory per distinct line, /c" \
    "$(awk -v m="$(med_mib "$set" rowsift_c)" -v n="${set_distinct[$set]}" 'BEGIN { printf "%.1f", m * 1048576 / n }')" le 24
done
for set in heavy long; do
  [[ " $sets " == *" $set "* && -n $baseline ]] || continue
  goal "$set: rowsift /c / baseline /c" "$(ratio "$(med_seconds "$set" rowsift_c)" "$(med_seconds "$set" baseline_c)")" le 1.05
  goal "$set: rowsift / baseline" "$(ratio "$(med_seconds "$set" rowsift)" "$(med_seconds "$set" baseline)")" le 1.05
done
# --exact against the same mode without it: time, and the peak memory it
# adds per distinct line.
for set in distinct words heavy; do
  if [[ " $sets " != *" $set "* ]] || ((!exact)); then continue; fi
  for mode in rowsift_c rowsift; do
    label=${mode/rowsift_c/rowsift \/c}
    goal "$set: $label --exact / $label" "$(ratio "$(med_seconds "$set" "${mode}_exact")" "$(med_seconds "$set" "$mode")")" le 1.3
    ((quick)) && continue
    goal "$set: $label --exact, bytes of peak RSS per distinct line more (with the source's pages)" \
      "$(awk -v a="$(med_mib "$set" "${mode}_exact")" -v b="$(med_mib "$set" "$mode")" -v n="${set_distinct[$set]}" \
        'BEGIN { printf "%.1f", (a - b) * 1048576 / n }')" le 8
    goal "$set: $label --exact, bytes of peak private memory per distinct line more" \
      "$(awk -v a="${private[$set|${mode}_exact]}" -v b="${private[$set|$mode]}" -v n="${set_distinct[$set]}" \
        'BEGIN { printf "%.1f", (a - b) * 1024 / n }')" le 8
  done
done
for set in $sets; do
  goal "$set: rowsift /c, 2 threads / 1 thread (for information)" \
    "$(ratio "$(med_seconds "$set" rowsift_c)" "$(med_seconds "$set" rowsift_c1)")" le 1
done
echo
echo "Load at the end: $(cut -d ' ' -f 1-3 /proc/loadavg)."
if ((${#problems[@]})); then
  echo
  echo "Problems:"
  printf -- '- %s\n' "${problems[@]}"
  exit 1
fi
