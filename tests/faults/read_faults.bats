#!/usr/bin/env bats
# The source fails while it is read, or memory runs out while a line is
# assembled. The run ends with exit 1, one line on standard error naming the
# source (or the lack of memory), a target holding exactly the whole
# 60000-byte buffers handed over before the failure, and the source untouched.

load helpers

@test "a source that fails at its first read leaves an empty target" {
  distinct_lines 10 >in.txt
  cp in.txt in.copy

  sift_faulty FAULT_PATH="$WORK/in.txt" FAULT_OP=read FAULT_MODE=fail FAULT_ERRNO=EIO -- in.txt out.txt

  [[ $status -eq 1 ]]
  only_error_line "rowsift: in.txt: read failed: Input/output error"
  [[ $(faults_injected) -eq 1 ]]
  [[ -f out.txt && ! -s out.txt ]]
  same_bytes in.txt in.copy
}

@test "a source that fails inside its first four bytes, after a short read" {
  distinct_lines 10 >in.txt
  cp in.txt in.copy

  sift_faulty FAULT_PATH="$WORK/in.txt" FAULT_OP=read FAULT_MODE=partial FAULT_ERRNO=EIO \
    FAULT_AFTER_BYTES=3 -- in.txt out.txt

  [[ $status -eq 1 ]]
  only_error_line "rowsift: in.txt: read failed: Input/output error"
  [[ -f out.txt && ! -s out.txt ]]
  same_bytes in.txt in.copy
}

@test "a source that fails mid-read: the lines of the first block are in the target up to a whole buffer" {
  # The first 65536-byte block holds 655 whole lines (65500 bytes of output);
  # 60000 of them went out when the buffer filled, the rest were still waiting.
  distinct_lines 2000 >in.txt
  cp in.txt in.copy

  sift_faulty FAULT_PATH="$WORK/in.txt" FAULT_OP=read FAULT_MODE=fail FAULT_ERRNO=EIO \
    FAULT_AFTER_BYTES=100000 -- in.txt out.txt

  [[ $status -eq 1 ]]
  only_error_line "rowsift: in.txt: read failed: Input/output error"
  [[ $(faults_injected) -eq 1 ]]
  holds_prefix out.txt in.copy 60000
  same_bytes in.txt in.copy
}

@test "a source with duplicates that fails mid-read after part of a block came" {
  # Lines 0-999, then the same again, then 1000-1999. Two whole blocks (131072
  # bytes) are taken before the read that fails: 1000 kept lines and 310
  # duplicates; 60000 bytes of the kept ones had gone out.
  distinct_lines 2000 >all.txt
  { head -c 100000 all.txt; head -c 100000 all.txt; tail -c 100000 all.txt; } >in.txt
  cp in.txt in.copy
  sift -- in.txt clean.txt
  [[ $status -eq 0 ]]
  same_bytes clean.txt all.txt

  sift_faulty FAULT_PATH="$WORK/in.txt" FAULT_OP=read FAULT_MODE=partial FAULT_ERRNO=EIO \
    FAULT_AFTER_BYTES=150000 -- in.txt out.txt

  [[ $status -eq 1 ]]
  only_error_line "rowsift: in.txt: read failed: Input/output error"
  [[ $(grep -c ' FAULT$' fault.log) -eq 2 ]]  # the short read and the failure
  holds_prefix out.txt clean.txt 60000
  same_bytes in.txt in.copy
}

@test "a source read in chunks by several threads that fails: whole buffers of the lines before the chunk that failed" {
  # 50000 lines of 100 bytes, five chunks; whichever thread's read fails,
  # the lines of the chunks before it come out first, in order.
  distinct_lines 50000 >in.txt
  cp in.txt in.copy

  sift_faulty FAULT_PATH="$WORK/in.txt" FAULT_OP=read FAULT_MODE=fail FAULT_ERRNO=EIO \
    FAULT_AFTER_BYTES=2500000 -- in.txt out.txt --threads=3

  [[ $status -eq 1 ]]
  only_error_line "rowsift: in.txt: read failed: Input/output error"
  local stored
  stored=$(stat -c %s out.txt)
  [[ $((stored % 60000)) -eq 0 ]]
  holds_prefix out.txt in.copy "$stored"
  same_bytes in.txt in.copy
}

@test "a UTF-16 source that fails mid-read: whole buffers of converted text, as the log shows" {
  distinct_lines 3000 >expected.txt
  to_utf16 be <expected.txt >in.txt
  cp in.txt in.copy

  sift_faulty FAULT_PATH="$WORK/in.txt" FAULT_OP=read FAULT_MODE=fail FAULT_ERRNO=EIO \
    FAULT_AFTER_BYTES=300001 -- in.txt out.txt

  [[ $status -eq 1 ]]
  only_error_line "rowsift: in.txt: read failed: Input/output error"
  [[ $(faults_injected) -eq 1 ]]
  # The shim watches the source here, so the target's size is read directly.
  local stored
  stored=$(stat -c %s out.txt)
  [[ $stored -gt 0 && $((stored % 60000)) -eq 0 ]]
  holds_prefix out.txt expected.txt "$stored"
  same_bytes in.txt in.copy
}

@test "memory running out while a long line is read: exit 1, one line, the whole buffers written before" {
  if ldd "$ROWSIFT" | grep -q 'lib[at]san'; then
    skip "a sanitizer reserves far more address space than the limit allows"
  fi
  # 1000 lines (60000 bytes of them flushed, 40000 waiting), then a 150 MB
  # line, under a 100 MB address-space limit that a small run fits easily.
  distinct_lines 1000 >lines.txt
  { cat lines.txt; head -c 150000000 /dev/zero | tr '\0' a; printf '\nend\n'; } >in.txt
  local before
  before=$(stat -c %Y.%s in.txt)

  status=0
  setsid -w bash -c 'ulimit -v 100000 && exec "$0" in.txt out.txt' "$ROWSIFT" >stdout 2>stderr </dev/null || status=$?

  [[ $status -eq 1 ]]
  [[ $(wc -l <stderr) -eq 1 && ! -s stdout ]]
  grep -q '^rowsift: .*out of memory' stderr
  holds_prefix out.txt lines.txt 60000
  [[ $(stat -c %Y.%s in.txt) == "$before" ]]
  rm -f in.txt
}

@test "an address-space limit below --memory: lines are set aside rather than memory running out" {
  if ldd "$ROWSIFT" | grep -q 'lib[at]san'; then
    skip "a sanitizer reserves far more address space than the limit allows"
  fi
  # What a run maps before its index grows, its reading thread started.
  mkfifo idle.fifo
  setsid -w "$ROWSIFT" "$WORK/idle.fifo" idle.txt </dev/null &
  exec 5>idle.fifo
  local pid base
  pid=$(pgrep -f "$WORK/idle.fifo")
  for _ in {1..100}; do
    [[ $(awk '/^Threads/ { print $2 }' "/proc/$pid/status") == 2 ]] && break
    sleep 0.05
  done
  base=$(awk '/^VmSize/ { print $2 }' "/proc/$pid/status")
  exec 5>&-
  wait
  # 4 million lines: an index of over 100 MiB, against 20 MiB to spare.
  seq 1 4000000 | awk '{ print "k" ($1 * 7919 % 4000037) }' >in.txt
  sift -- in.txt expected.txt
  mkdir tmp

  status=0
  setsid -w env TMPDIR="$WORK/tmp" bash -c 'ulimit -v $1 && exec "$0" in.txt out.txt --memory=1G' "$ROWSIFT" \
    $((base + 20 * 1024)) >stdout 2>stderr </dev/null || status=$?

  [[ $status -eq 0 && ! -s stderr ]]
  same_bytes out.txt expected.txt
}

@test "/dev/stdin is the shell's descriptor: read from where it stands, refused as its own target" {
  printf 'header\nb\na\nb\n' >in.txt
  cp in.txt in.copy
  for name in /dev/stdin /dev/fd/0 /proc/self/fd/0; do
    { read -r _ && setsid -w "$ROWSIFT" "$name" out.txt; } <in.txt
    [[ $(cat out.txt) == $'b\na' ]]
  done

  status=0
  setsid -w "$ROWSIFT" /dev/stdin in.txt <in.txt >stdout 2>stderr || status=$?
  [[ $status -eq 1 && $(cat stdout) == "Failed to open target file in.txt" ]]
  grep -qx "rowsift: in.txt: is the source file" stderr
  same_bytes in.txt in.copy
}

@test "a pipe that pauses: the lines read before the pause reach the target at once" {
  mkfifo source.fifo
  # The writer waits (5 s at most) for the first line to reach the target.
  (
    printf 'first\n'
    for _ in {1..100}; do
      if [[ -s out.txt ]]; then cp out.txt early.txt && break; fi
      sleep 0.05
    done
    printf 'first\nsecond\n'
  ) >source.fifo 3>&- &

  sift -- source.fifo out.txt
  wait
  [[ $status -eq 0 ]]
  printf 'first\n' >expected.txt
  same_bytes early.txt expected.txt
  printf 'first\nsecond\n' >expected.txt
  same_bytes out.txt expected.txt
}

@test "a UTF-16 source with characters the code page lacks that fails mid-read: only the failure is reported" {
  { printf '\xe4\xb8\xad\n'; distinct_lines 3000; } | to_utf16 le >in.txt

  sift LC_ALL=en_US.CP1252 -- in.txt out.txt
  [[ $status -eq 0 ]]
  [[ "$(cat stderr)" == "rowsift: in.txt: 1 characters have no form in code page CP1252 and were written as '?'" ]]

  sift_faulty LC_ALL=en_US.CP1252 FAULT_PATH="$WORK/in.txt" FAULT_OP=read FAULT_MODE=fail FAULT_ERRNO=EIO \
    FAULT_AFTER_BYTES=300001 -- in.txt out.txt
  [[ $status -eq 1 ]]
  only_error_line "rowsift: in.txt: read failed: Input/output error"
}

@test "exclusion lists are read one at a time: more of them than a process may hold open" {
  distinct_lines 50 >in.txt
  split -l 1 in.txt list.
  lists=(list.*)
  status=0
  setsid -w bash -c 'ulimit -n 24 && exec "$0" "$@"' "$ROWSIFT" in.txt out.txt "${lists[@]/#/--exclude=}" \
    </dev/null >stdout 2>stderr || status=$?
  [[ $status -eq 0 && ! -s stdout && ! -s stderr && ! -s out.txt ]]
}

@test "without a random source the run stops before it opens a file; /dev/urandom stands in for getrandom" {
  printf 'a\nA\na\n' >in.txt

  sift_faulty FAULT_GETRANDOM=ENOSYS FAULT_PATH=/dev/urandom FAULT_OP=open FAULT_ERRNO=ENOENT -- in.txt out.txt
  [[ $status -eq 1 && ! -e out.txt ]]
  only_error_line "rowsift: no random source for the fingerprints' secret key: getrandom: Function not implemented; /dev/urandom: No such file or directory"

  sift_faulty FAULT_GETRANDOM=ENOSYS -- in.txt out.txt
  [[ $status -eq 0 && ! -s stderr && $(cat out.txt) == a ]]
}
