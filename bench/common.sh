# What run.sh and bounded.sh share: their common options, the checks of
# what they need, a temporary folder, the data generator, timing a command
# and the medians. Sourced, not run. The script sets $script (its name for
# messages), $repo_root and a usage function first.
# shellcheck shell=bash disable=SC2154,SC2034  # script, repo_root in, taken out: the sourcing script's

binary="$repo_root/build/rowsift"
runs=""
quick=0
declare -A times mems  # "set|tool" -> space-separated microseconds / KiB
problems=()

# positive_number option value: the value, or exit 2.
positive_number() {
  [[ $2 =~ ^[1-9][0-9]*$ ]] || { echo "$script: $1 needs a positive number" >&2; exit 2; }
  echo "$2"
}

# common_option "$@": takes --quick, --runs N, --binary PATH or --help from
# the front of the arguments and sets $taken to how many it used; false for
# any other argument.
common_option() {
  taken=1
  case $1 in
    --quick) quick=1 ;;
    --runs)
      runs=$(positive_number --runs "${2:-}") || exit 2
      taken=2
      ;;
    --binary)
      [[ $# -ge 2 ]] || { echo "$script: --binary needs a path" >&2; exit 2; }
      binary=$2
      taken=2
      ;;
    -h | --help)
      usage
      exit 0
      ;;
    *) return 1 ;;
  esac
}

log() { printf '%s\n' "$*" >&2; }

# need_tools tool...: after the options, the default number of runs; GNU
# time and the tools named, or exit 1; then the rowsift binary, made absolute.
need_tools() {
  [[ -n $runs ]] || { ((quick)) && runs=1 || runs=3; }
  if [[ ! -x /usr/bin/time ]]; then
    echo "$script: /usr/bin/time (GNU time) is missing; install the apt package 'time'" >&2
    exit 1
  fi
  local tool
  for tool in "$@"; do
    command -v "$tool" > /dev/null || { echo "$script: $tool is missing" >&2; exit 1; }
  done
  [[ $binary == /* ]] || binary="$PWD/$binary"
  [[ -x $binary ]] || { echo "$script: no rowsift binary at $binary (build it, or pass --binary)" >&2; exit 1; }
}

# make_work name: $work, a folder under $TMPDIR or /tmp removed on exit, with
# the data generator compiled into it.
make_work() {
  work=$(mktemp -d "${TMPDIR:-/tmp}/$1.XXXXXX")
  trap 'rm -rf "$work"' EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM
  log "compiling the data generator"
  g++ -O2 -std=c++20 -o "$work/gen_data" "$repo_root/bench/gen_data.cpp"
}

# timed key label stdout locale command...: runs the command under GNU time
# with LC_ALL=locale (the script itself stays in C, for its '.' radix), adds
# its wall time and peak memory to times[key] and mems[key] and logs them;
# on failure, notes a problem and returns 1.
timed() {
  local key=$1 label=$2 stdout=$3 locale=$4
  shift 4
  local start end status=0
  start=${EPOCHREALTIME/./}
  LC_ALL=$locale /usr/bin/time -o "$work/time.out" -f '%e %M' "$@" \
    < /dev/null > "$stdout" 2> "$work/stderr.out" || status=$?
  end=${EPOCHREALTIME/./}

  local elapsed=$((end - start)) kib
  kib=$(tail -n 1 "$work/time.out" | cut -d ' ' -f 2)
  if ((status != 0)) || [[ ! $kib =~ ^[0-9]+$ ]]; then
    local why
    why=$(head -c 300 "$work/time.out" "$work/stderr.out" 2> /dev/null | tr '\n' ' ')
    problems+=("${key%%|*}: $label failed (status $status): $why")
    log "  $label: FAILED (status $status)"
    return 1
  fi
  times[$key]+="$elapsed "
  mems[$key]+="$kib "
  log "$(printf '  %-45s %8.3f s %9.1f MiB' "$label" "$(awk -v u="$elapsed" 'BEGIN { print u / 1e6 }')" \
    "$(awk -v k="$kib" 'BEGIN { print k / 1024 }')")"
}

median() {  # numbers...
  printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { if (NR == 0) print ""; else if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# Median seconds and MiB of a set's tool, or nothing when it never succeeded.
med_seconds() {  # set tool [decimals]
  local key="$1|$2"
  [[ -n ${times[$key]:-} ]] || return 0
  # shellcheck disable=SC2086  # the list is split on purpose
  awk -v u="$(median ${times[$key]})" -v d="${3:-3}" 'BEGIN { printf "%.*f", d, u / 1e6 }'
}
med_mib() {  # set tool [decimals]
  local key="$1|$2"
  [[ -n ${mems[$key]:-} ]] || return 0
  # shellcheck disable=SC2086
  awk -v k="$(median ${mems[$key]})" -v d="${3:-1}" 'BEGIN { printf "%.*f", d, k / 1024 }'
}
ratio() {  # a b -> a / b with two decimals, or "n/a"
  if [[ -n $1 && -n $2 ]] && awk -v b="$2" 'BEGIN { exit !(b > 0) }'; then
    awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'
  else
    echo "n/a"
  fi
}
