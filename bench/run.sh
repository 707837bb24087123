#!/usr/bin/env bash
# Benchmarks rowsift against mawk, sort -u and wc -l on generated data sets
# and prints a markdown table of median wall time, peak memory and ratios.
# See bench/README.md.
set -euo pipefail

# The script's own arithmetic and EPOCHREALTIME need a '.' radix.
export LC_ALL=C

usage() {
  cat <<'EOF'
usage: bench/run.sh [--quick] [--runs N] [--binary PATH] [--sets LETTERS]

  --quick         data sets a tenth of the size, 1 run each (unless --runs)
  --runs N        runs of every tool on every data set (default 3)
  --binary PATH   the rowsift to measure (default: build/rowsift of this repository)
  --sets LETTERS  only these data sets, e.g. "abg" or "a,d" (default: all, a to r)

Data sets are generated in a temporary folder that is removed on exit.
The table goes to standard output, progress to standard error.
EOF
}

repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
script=run.sh
# shellcheck source=bench/common.sh
source "$repo_root/bench/common.sh"
sets="abcdefghijklmnopqr"

while (($# > 0)); do
  if common_option "$@"; then
    shift "$taken"
    continue
  fi
  case $1 in
    --sets)
      [[ $# -ge 2 && $2 =~ ^[a-r,]+$ ]] || { echo "run.sh: --sets takes letters a to r" >&2; exit 2; }
      sets=${2//,/}
      shift
      ;;
    *)
      usage >&2
      exit 2
      ;;
  esac
  shift
done
need_tools mawk sort wc iconv g++ cmp

load_start=$(cut -d ' ' -f 1-3 /proc/loadavg)
revision=$(git -C "$repo_root" rev-parse --short HEAD 2> /dev/null || echo unknown)
if [[ -n $(git -C "$repo_root" status --porcelain --untracked-files=no 2> /dev/null) ]]; then
  revision+=" with uncommitted changes"
fi
built=$(date -u -r "$binary" '+%Y-%m-%d %H:%M UTC')
make_work rowsift-bench

# ---------------------------------------------------------------- data sets

# 1 in quick mode: sizes divided by 10.
scale=1
((quick)) && scale=10

declare -A set_lines set_distinct set_args set_tools set_checks set_title
define_set() {  # letter lines distinct "generator args" "tools" "checks" title
  set_lines[$1]=$(($2 / scale > 0 ? $2 / scale : 1))
  set_distinct[$1]=$(($3 / scale > 0 ? $3 / scale : 1))
  set_args[$1]=$4
  set_tools[$1]=$5
  set_checks[$1]=$6
  set_title[$1]=$7
}
# Checks are pairs rowsift-mode:reference whose outputs must be byte-equal;
# the reference "expect" is the output of mawk '!a[tolower($0)]++' on the
# set's UTF-8 twin (set_twin: its generator arguments), made untimed. The
# twins hold only lower-case letters and distinct ids, so that output is also
# what rowsift /c must write.
all_tools="rowsift rowsift_c mawk_lower mawk sort wc"
all_checks="rowsift:mawk_lower rowsift_c:mawk"
define_set a 10000000 1000000 "--min-len 40 --max-len 76 --seed 1" "$all_tools" "$all_checks" "heavy duplication"
define_set b 100000 100000 "--min-len 28 --max-len 48 --seed 2" "$all_tools" "$all_checks" "all distinct"
define_set c 1000000 1000000 "--min-len 28 --max-len 48 --seed 3" "$all_tools" "$all_checks" "all distinct"
define_set d 10000000 10000000 "--min-len 28 --max-len 48 --seed 4" "$all_tools" "$all_checks" "all distinct"
define_set e 500000 50000 "--min-len 800 --max-len 1248 --seed 5" "$all_tools" "$all_checks" "long lines"
define_set f 10000000 1000000 "--min-len 40 --max-len 76 --seed 1 --mixed-case" \
  "rowsift mawk_lower wc" "rowsift:mawk_lower" "mixed case (set a, random letter case)"
define_set g 10000000 1000000 "--min-len 40 --max-len 76 --seed 1 --utf16le" \
  "rowsift rowsift_c iconv_mawk wc" "rowsift:expect rowsift_c:expect" "UTF-16 LE with BOM (set a)"
# Composition of combining marks into CP1252: the same text with precomposed
# vowels, with vowel and U+0301, and a single line of one e and 65536 marks.
define_set h 10000000 1000000 "--min-len 40 --max-len 76 --seed 1 --accents precomposed --utf16le" \
  "rowsift iconv_mawk wc" "rowsift:expect" "UTF-16 LE, accented vowels precomposed, read in CP1252"
define_set i 10000000 1000000 "--min-len 40 --max-len 76 --seed 1 --accents combining --utf16le" \
  "rowsift iconv_mawk wc" "rowsift:expect" "UTF-16 LE, vowels and U+0301 (set h decomposed), read in CP1252"
define_set j 1 1 "--marks 65536 --utf16le" "rowsift" "rowsift:expect" "UTF-16 LE, one e and 65536 U+0301, read in CP1252"
# Other scripts, in UTF-8 and in UTF-16: the conversion of non-ASCII text.
define_set k 10000000 1000000 "--min-len 40 --max-len 76 --seed 1 --script cyrillic" \
  "rowsift rowsift_c wc" "rowsift:expect rowsift_c:expect" "Cyrillic letters (set a), UTF-8"
define_set l 10000000 1000000 "--min-len 40 --max-len 76 --seed 1 --script cyrillic --utf16le" \
  "rowsift rowsift_c wc" "rowsift:expect rowsift_c:expect" "Cyrillic letters (set k), UTF-16 LE"
define_set m 10000000 1000000 "--min-len 40 --max-len 76 --seed 1 --script cjk" \
  "rowsift rowsift_c wc" "rowsift:expect rowsift_c:expect" "CJK ideographs (set a), UTF-8"
define_set n 10000000 1000000 "--min-len 40 --max-len 76 --seed 1 --script cjk --utf16le" \
  "rowsift rowsift_c wc" "rowsift:expect rowsift_c:expect" "CJK ideographs (set m), UTF-16 LE"
# Capitals beyond ASCII, so that Unicode's full case folding has work to do.
# A line's occurrences share their letter case and distinct lines differ in
# their ASCII id, so both modes keep what mawk '!a[$0]++' keeps.
utf8_tools="rowsift rowsift_c mawk wc"
utf8_checks="rowsift:mawk rowsift_c:mawk"
define_set o 10000000 1000000 "--min-len 40 --max-len 76 --seed 1 --script cyrillic --capitals" \
  "$utf8_tools" "$utf8_checks" "Cyrillic letters, 1 in 16 a capital (set k with capitals), UTF-8"
define_set p 10000000 1000000 "--min-len 40 --max-len 76 --seed 1 --accents mixed --capitals" \
  "$utf8_tools" "$utf8_checks" "Latin letters, 1 in 5 accented, 1 in 16 a capital, UTF-8"
# Crafted keys: groups of 63 different lines that shared one line key before
# the fingerprints were keyed with a secret, and the same shape with every
# key its own. No line differs from another only in case.
define_set q 6300000 6300000 "--crafted-keys shared" \
  "rowsift rowsift_c mawk" "rowsift:mawk rowsift_c:mawk" "63 different lines to each key, the groups interleaved"
define_set r 6300000 6300000 "--crafted-keys unique" \
  "rowsift rowsift_c mawk" "rowsift:mawk rowsift_c:mawk" "lines shaped as in q, every key its own"

declare -A set_twin=(
  [g]="--min-len 40 --max-len 76 --seed 1"
  [h]="--min-len 40 --max-len 76 --seed 1 --accents precomposed"
  [i]="--min-len 40 --max-len 76 --seed 1 --accents precomposed"
  [k]="--min-len 40 --max-len 76 --seed 1 --script cyrillic"
  [l]="--min-len 40 --max-len 76 --seed 1 --script cyrillic"
  [m]="--min-len 40 --max-len 76 --seed 1 --script cjk"
  [n]="--min-len 40 --max-len 76 --seed 1 --script cjk"
)
# rowsift's locale where it is not C.UTF-8; its output is turned into UTF-8
# for the checks.
declare -A set_locale=([h]=de_DE.CP1252 [i]=de_DE.CP1252 [j]=de_DE.CP1252)

# The rowsift mode each peer is compared with.
declare -A reference=([mawk]=rowsift_c [sort]=rowsift_c [mawk_lower]=rowsift [iconv_mawk]=rowsift [wc]=rowsift)
declare -A display=(
  [rowsift]="rowsift"
  [rowsift_c]="rowsift /c"
  [mawk]="mawk '!a[\$0]++'"
  [mawk_lower]="mawk '!a[tolower(\$0)]++'"
  [sort]="sort -u"
  [wc]="wc -l"
  [iconv_mawk]="iconv -f UTF-16LE -t UTF-8 \\| mawk '!a[tolower(\$0)]++'"
)

count_label() {  # 10000000 -> 10M, 6300000 -> 6.3M, 50000 -> 50k
  local n=$1
  if ((n >= 1000000 && n % 1000000 == 0)); then
    echo "$((n / 1000000))M"
  elif ((n >= 1000000 && n % 100000 == 0)); then
    echo "$((n / 1000000)).$((n / 100000 % 10))M"
  elif ((n >= 1000 && n % 1000 == 0)); then
    echo "$((n / 1000))k"
  else
    echo "$n"
  fi
}

megabytes() {  # bytes -> MB, one decimal below 10
  awk -v b="$1" 'BEGIN { if (b < 1e7) printf "%.1f", b / 1e6; else printf "%.0f", b / 1e6 }'
}

generate() {  # letter file [generator args instead of the set's]
  local letter=$1
  local -a args
  read -r -a args <<< "${3:-${set_args[$letter]}}"
  "$work/gen_data" "$2" --lines "${set_lines[$letter]}" --distinct "${set_distinct[$letter]}" "${args[@]}"
}

# ---------------------------------------------------------------- one run

run_one() {  # letter tool input output
  local letter=$1 tool=$2 input=$3 output=$4
  local locale=C stdout=$output
  local -a cmd
  # shellcheck disable=SC2016  # awk programs and an inner script: not ours to expand
  case $tool in
    rowsift) cmd=("$binary" "$input" "$output") ;;
    rowsift_c) cmd=("$binary" "$input" "$output" /c) ;;
    mawk) cmd=(mawk '!a[$0]++' "$input") ;;
    mawk_lower) cmd=(mawk '!a[tolower($0)]++' "$input") ;;
    sort) cmd=(sort -u "$input") ;;
    wc) cmd=(wc -l "$input") ;;
    iconv_mawk)
      cmd=(bash -c 'set -o pipefail; iconv -f UTF-16LE -t UTF-8 "$1" | mawk '\''!a[tolower($0)]++'\''' bash "$input")
      ;;
    *) log "unknown tool $tool"; exit 1 ;;
  esac
  if [[ $tool == rowsift* ]]; then
    locale=${set_locale[$letter]:-C.UTF-8}  # rowsift takes its code page from the locale's codeset
    stdout=$work/rowsift.stdout
  fi

  timed "$letter|$tool" "${display[$tool]}" "$stdout" "$locale" "${cmd[@]}"
}

# ---------------------------------------------------------------- the runs

# The reference output of a set (see set_twin), made once per twin: mawk's
# output on a set of the same arguments is kept when that set runs.
declare -A expect_of  # "lines|generator args" -> file
make_expect() {  # letter: sets $expect to the reference file, made when missing
  local letter=$1 key
  if [[ $letter == j ]]; then  # e-acute, then U+0301 (not in CP1252) as '?'
    expect=$work/expect_j.txt
    [[ -e $expect ]] || { printf '\xc3\xa9'; head -c 65535 /dev/zero | tr '\0' '?'; printf '\n'; } > "$expect"
    return
  fi
  key="${set_lines[$letter]}|${set_twin[$letter]}"
  if [[ -z ${expect_of[$key]:-} ]]; then
    log "[$letter] generating the UTF-8 twin of set $letter for its check (untimed)"
    generate "$letter" "$work/twin.txt" "${set_twin[$letter]}"
    expect_of[$key]=$work/expect_$letter.txt
    mawk '!a[tolower($0)]++' "$work/twin.txt" > "${expect_of[$key]}"
    rm -f "$work/twin.txt"
  fi
  expect=${expect_of[$key]}
}

# The fixed cost of starting rowsift (and /usr/bin/time): a one-line file.
printf 'one line\n' > "$work/one_line.txt"
log "[startup] rowsift on a one-line file, 5 times"
for ((round = 1; round <= 5; round++)); do
  run_one startup rowsift "$work/one_line.txt" "$work/out_rowsift.txt" || true
done
rm -f "$work/one_line.txt" "$work/out_rowsift.txt"

declare -A set_bytes
ran_sets=""
for letter in a b c d e f g h i j k l m n o p q r; do
  [[ $sets == *"$letter"* ]] || continue
  input=$work/set_$letter.txt
  log "[$letter] generating ${set_title[$letter]}: $(count_label "${set_lines[$letter]}") lines, $(count_label "${set_distinct[$letter]}") distinct"
  generate "$letter" "$input"
  sync "$input"  # no write-back of the fresh file during the first runs
  set_bytes[$letter]=$(stat -c %s "$input")
  expect=""
  [[ ${set_checks[$letter]} == *:expect* ]] && make_expect "$letter"
  read -r -a tools <<< "${set_tools[$letter]}"
  read -r -a checks <<< "${set_checks[$letter]}"

  for ((round = 1; round <= runs; round++)); do
    log "[$letter] round $round of $runs"
    for tool in "${tools[@]}"; do
      run_one "$letter" "$tool" "$input" "$work/out_$tool.txt" || true
    done
    for check in "${checks[@]}"; do
      mine=$work/out_${check%%:*}.txt
      theirs=$work/out_${check#*:}.txt
      [[ ${check#*:} == expect ]] && theirs=$expect
      [[ -e $mine && -e $theirs ]] || continue
      if [[ -n ${set_locale[$letter]:-} ]]; then
        iconv -f "${set_locale[$letter]#*.}" -t UTF-8 "$mine" > "$mine.utf8" && mv "$mine.utf8" "$mine"
      fi
      # Set j's first block holds no line end, so its one terminator is the
      # default style: only the text is checked.
      [[ $letter == j ]] && tr -d '\r' < "$mine" > "$mine.text" && mv "$mine.text" "$mine"
      if ! cmp -s "$mine" "$theirs"; then
        problems+=("set $letter round $round: output of ${display[${check%%:*}]} differs from ${check#*:} ($(cmp "$mine" "$theirs" 2>&1 | head -n 1 || true))")
        log "  CHECK FAILED: ${check%%:*} vs ${check#*:}"
      fi
    done
  done
  if [[ -e $work/out_mawk_lower.txt && -z ${set_locale[$letter]:-} ]]; then
    mv "$work/out_mawk_lower.txt" "$work/expect_$letter.txt"
    expect_of["${set_lines[$letter]}|${set_args[$letter]}"]=$work/expect_$letter.txt
  fi
  rm -f "$input" "$work"/out_*.txt
  ran_sets+=$letter
done

# ---------------------------------------------------------------- the report

cpu=$(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo)
mem_gib=$(awk '/^MemTotal/ { printf "%.0f", $2 / 1048576 }' /proc/meminfo)

echo "# rowsift benchmark"
echo
echo "- $(date -u '+%Y-%m-%d %H:%M UTC'), ${cpu:-unknown CPU}, $(nproc) cores, ${mem_gib} GiB, $(uname -sr)"
echo "- rowsift: \`$binary\` (built $built; repository at $revision when the run began); $runs run(s) per tool, median shown$( ((quick)) && echo '; quick mode (sizes / 10)')"
echo "- peers: $(mawk -W version 2>&1 | head -n 1), $(sort --version | head -n 1), $(iconv --version | head -n 1)"
echo "- load average (1, 5, 15 min) at the start: $load_start; at the end: $(cut -d ' ' -f 1-3 /proc/loadavg)"
echo "- ratios are peer / rowsift: above 1 means rowsift is faster or smaller."
echo "  Peers run with LC_ALL=C, rowsift with LC_ALL=C.UTF-8."
echo
echo "| data set | tool | median s | peak MiB | time ratio | memory ratio |"
echo "|---|---|---:|---:|---:|---:|"
for ((i = 0; i < ${#ran_sets}; i++)); do
  letter=${ran_sets:i:1}
  label="$letter: ${set_title[$letter]}, $(count_label "${set_lines[$letter]}") lines, $(count_label "${set_distinct[$letter]}") distinct, $(megabytes "${set_bytes[$letter]}") MB"
  read -r -a tools <<< "${set_tools[$letter]}"
  for tool in "${tools[@]}"; do
    secs=$(med_seconds "$letter" "$tool")
    mib=$(med_mib "$letter" "$tool")
    if [[ -n ${reference[$tool]:-} ]]; then
      ref=${reference[$tool]}
      tr=$(ratio "$(med_seconds "$letter" "$tool" 6)" "$(med_seconds "$letter" "$ref" 6)")
      mr=$(ratio "$(med_mib "$letter" "$tool" 4)" "$(med_mib "$letter" "$ref" 4)")
      name="\`${display[$tool]}\` (vs ${display[$ref]})"
    else
      tr="—"
      mr="—"
      name="\`${display[$tool]}\`"
    fi
    echo "| $label | $name | ${secs:-failed} | ${mib:-failed} | $tr | $mr |"
    label=""
  done
done

# The goals, as ratios within this one run.
goal() {  # description value comparison(ge|le|gt) threshold
  local verdict="not met"
  if [[ $2 == n/a || -z $2 ]]; then
    verdict="n/a"
  elif awk -v v="$2" -v t="$4" -v op="$3" 'BEGIN { exit !((op == "ge" && v >= t) || (op == "le" && v <= t) || (op == "gt" && v > t) || (op == "lt" && v < t)) }'; then
    verdict="met"
  fi
  local sign
  case $3 in ge) sign="≥" ;; le) sign="≤" ;; gt) sign=">" ;; lt) sign="<" ;; esac
  echo "| $1 | $2 | $sign $4 | $verdict |"
}
s() { med_seconds "$1" "$2" 6; }
m() { med_mib "$1" "$2" 4; }

echo
echo "| goal | value | target | |"
echo "|---|---:|---:|---|"
if [[ $ran_sets == *a* ]]; then
  goal "a: mawk tolower time / rowsift" "$(ratio "$(s a mawk_lower)" "$(s a rowsift)")" ge 10
  goal "a: mawk time / rowsift /c" "$(ratio "$(s a mawk)" "$(s a rowsift_c)")" ge 10
  goal "a: rowsift time / wc -l" "$(ratio "$(s a rowsift)" "$(s a wc)")" le 10
  goal "a: rowsift /c time / wc -l" "$(ratio "$(s a rowsift_c)" "$(s a wc)")" le 10
fi
if [[ $ran_sets == *d* ]]; then
  goal "d: mawk tolower time / rowsift" "$(ratio "$(s d mawk_lower)" "$(s d rowsift)")" ge 5
  goal "d: mawk time / rowsift /c" "$(ratio "$(s d mawk)" "$(s d rowsift_c)")" ge 5
fi
if [[ $ran_sets == *b* && $ran_sets == *d* ]]; then
  for tool in rowsift rowsift_c; do
    per_b=$(ratio "$(s b "$tool")" "${set_lines[b]}")
    per_line=$(awk -v tb="$(s b "$tool")" -v td="$(s d "$tool")" -v nb="${set_lines[b]}" -v nd="${set_lines[d]}" \
      'BEGIN { if (tb > 0) printf "%.2f", (td / nd) / (tb / nb); else print "n/a" }')
    [[ $per_b == n/a ]] && per_line=n/a
    goal "${display[$tool]}: time per line at $(count_label "${set_lines[d]}") / at $(count_label "${set_lines[b]}") distinct" "$per_line" le 1.5
    # The same with the start-up time of a one-line file taken off both.
    net=$(awk -v tb="$(s b "$tool")" -v td="$(s d "$tool")" -v t0="$(s startup rowsift)" -v nb="${set_lines[b]}" -v nd="${set_lines[d]}" \
      'BEGIN { if (t0 != "" && tb > t0) printf "%.2f", ((td - t0) / nd) / ((tb - t0) / nb); else print "n/a" }')
    goal "${display[$tool]}: the same, less start-up ($(med_seconds startup rowsift) s)" "$net" le 1.5
  done
  for tool in rowsift rowsift_c mawk; do
    bytes=$(awk -v mb="$(m b "$tool")" -v md="$(m d "$tool")" -v nb="${set_distinct[b]}" -v nd="${set_distinct[d]}" \
      'BEGIN { if (mb != "" && md != "") printf "%.1f", (md - mb) * 1048576 / (nd - nb); else print "n/a" }')
    if [[ $tool == mawk ]]; then
      echo "| ${display[$tool]}: bytes per distinct line above the $(count_label "${set_lines[b]}") set | $bytes | (for comparison) | |"
    else
      goal "${display[$tool]}: bytes per distinct line above the $(count_label "${set_lines[b]}") set" "$bytes" le 40
    fi
  done
fi
# The goal holds for the 1M and 10M sets; at 100k lines the fixed floor of a
# few MiB is most of the memory, so set b is shown for information.
for letter in b c d; do
  [[ $ran_sets == *"$letter"* ]] || continue
  if [[ $letter == b ]]; then
    echo "| b: rowsift memory / mawk tolower | $(ratio "$(m b rowsift)" "$(m b mawk_lower)") | (floor-bound, for information) | |"
    continue
  fi
  goal "$letter: rowsift memory / mawk tolower" "$(ratio "$(m "$letter" rowsift)" "$(m "$letter" mawk_lower)")" le 0.33
  goal "$letter: rowsift /c memory / mawk" "$(ratio "$(m "$letter" rowsift_c)" "$(m "$letter" mawk)")" le 0.33
done
if [[ $ran_sets == *g* ]]; then
  [[ $ran_sets == *a* ]] && goal "g: rowsift time on UTF-16 / on the same text in UTF-8 (a)" "$(ratio "$(s g rowsift)" "$(s a rowsift)")" le 2
  goal "g: iconv pipeline time / rowsift" "$(ratio "$(s g iconv_mawk)" "$(s g rowsift)")" gt 1
fi
# UTF-16 against its UTF-8 twin, case-sensitive (no folding cost in either).
for pair in ag kl mn; do
  utf8=${pair:0:1} utf16=${pair:1:1}
  [[ $ran_sets == *$utf8* && $ran_sets == *$utf16* ]] || continue
  goal "$utf16: rowsift /c time on UTF-16 / on the same text in UTF-8 ($utf8)" \
    "$(ratio "$(s "$utf16" rowsift_c)" "$(s "$utf8" rowsift_c)")" le 1.5
done
if [[ $ran_sets == *h* && $ran_sets == *i* ]]; then
  goal "i: rowsift time on combining marks / on precomposed text (h)" "$(ratio "$(s i rowsift)" "$(s h rowsift)")" le 2
fi
# Full case folding of non-ASCII capitals against the case-sensitive mode.
for letter in o p; do
  [[ $ran_sets == *$letter* ]] || continue
  goal "$letter: rowsift time / rowsift /c (full case folding)" \
    "$(ratio "$(s "$letter" rowsift)" "$(s "$letter" rowsift_c)")" le 1.5
done
if [[ $ran_sets == *q* && $ran_sets == *r* ]]; then
  goal "q: rowsift time on 63 lines to a key / on keys all different (r)" "$(ratio "$(s q rowsift)" "$(s r rowsift)")" le 2
  echo "| q: the same for rowsift /c | $(ratio "$(s q rowsift_c)" "$(s r rowsift_c)") | (for information) | |"
fi
[[ $ran_sets == *j* ]] && goal "j: rowsift seconds on one e and 65536 combining marks" "$(med_seconds j rowsift)" lt 0.1

if ((${#problems[@]} > 0)); then
  echo
  echo "## Problems"
  echo
  for problem in "${problems[@]}"; do echo "- $problem"; done
  exit 1
fi
echo
echo "All output checks passed."
