# Shared by the fault and huge-input tests. ROWSIFT and FAULT_SHIM come from CTest.

setup() {
  : "${ROWSIFT:?set ROWSIFT to the built rowsift}"
  WORK="$BATS_TEST_TMPDIR/work"
  mkdir -p "$WORK"
  cd "$WORK"
}

teardown() {
  rm -rf "$WORK"
}

# sift [NAME=value ...] -- args...
# Runs the tool in $WORK under setsid -w (no controlling terminal), with the
# given settings in its environment; sets $status, and leaves stdout and
# stderr in $WORK/stdout and $WORK/stderr.
sift() {
  local settings=()
  while [[ $# -gt 0 && $1 != -- ]]; do
    settings+=("$1")
    shift
  done
  shift
  status=0
  setsid -w env "${settings[@]}" "$ROWSIFT" "$@" >"$WORK/stdout" 2>"$WORK/stderr" </dev/null || status=$?
}

# sift_faulty FAULT_PATH=... FAULT_OP=... [...] -- args...
# As sift, with the shim preloaded and its log in $WORK/fault.log.
sift_faulty() {
  : "${FAULT_SHIM:?set FAULT_SHIM to the built shim}"
  rm -f "$WORK/fault.log"
  sift "LD_PRELOAD=$FAULT_SHIM" "FAULT_LOG=$WORK/fault.log" \
    "ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0" "$@"
}

# n lines of 99 bytes and LF, all different: the tool's output is the source
# itself, 100 bytes a line, and its 60000-byte buffer goes out every 600 lines.
distinct_lines() {
  awk -v n="$1" 'BEGIN { for (i = 0; i < n; i++) printf "%-99s\n", sprintf("line %07d", i) }'
}

# The same text as UTF-16, little- or big-endian with a byte-order mark.
to_utf16() {
  local order=$1
  if [[ $order == le ]]; then printf '\xff\xfe'; else printf '\xfe\xff'; fi
  iconv -f UTF-8 -t "UTF-16${order^^}"
}

# Fails with a readable message unless the two files hold the same bytes.
same_bytes() {
  if ! cmp -s "$1" "$2"; then
    echo "$1 and $2 differ: $(stat -c %s "$1") and $(stat -c %s "$2") bytes" >&2
    cmp "$1" "$2" >&2 || true
    return 1
  fi
}

# Fails unless file $1 holds exactly the first $3 bytes of file $2.
holds_prefix() {
  local size
  size=$(stat -c %s "$1")
  if [[ $size -ne $3 ]]; then
    echo "$1 holds $size bytes, expected the first $3 of $2" >&2
    return 1
  fi
  cmp -s -n "$3" "$1" "$2" || { echo "$1 is not a prefix of $2" >&2; return 1; }
}

# Bytes the watched file's writes stored, by the shim's log.
bytes_stored() {
  awk '$1 == "write" { split($4, r, "="); if (r[2] > 0) n += r[2] } END { print n + 0 }' "$WORK/fault.log"
}

# Number of calls the shim made fail or shortened.
faults_injected() {
  grep -c ' FAULT$' "$WORK/fault.log" || true
}

# Fails unless standard error is exactly the one line given and standard output is empty.
only_error_line() {
  local lines
  lines=$(wc -l <"$WORK/stderr")
  if [[ $lines -ne 1 || "$(cat "$WORK/stderr")" != "$1" ]]; then
    echo "stderr ($lines lines):" >&2
    cat "$WORK/stderr" >&2
    echo "expected: $1" >&2
    return 1
  fi
  if [[ -s "$WORK/stdout" ]]; then
    echo "unexpected stdout: $(cat "$WORK/stdout")" >&2
    return 1
  fi
}

# Free space in MiB where the test's files go.
free_mib() {
  df -Pm "$WORK" | awk 'NR == 2 { print $4 }'
}

# Waits (5 s at most) until some process holds a flock(2) lock on file $1,
# which may not exist yet.
holds_lock() {
  local inode
  for _ in {1..100}; do
    inode=$(stat -c %i "$1" 2>/dev/null) && grep -qE "FLOCK .* [0-9a-f]+:[0-9a-f]+:$inode " /proc/locks && return 0
    sleep 0.05
  done
  echo "nobody holds a lock on $1" >&2
  return 1
}
