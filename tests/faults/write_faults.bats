#!/usr/bin/env bats
# The target fails: a full disk at a chosen point, a write that stores part of
# its bytes, a failing close. Every such run ends with exit 1, one line on
# standard error, the target holding exactly what the file took, and the
# source untouched.

load helpers

@test "a full disk at the second 60000-byte write leaves the first one in the target" {
  distinct_lines 2000 >in.txt
  cp in.txt in.copy

  sift_faulty FAULT_PATH="$WORK/out.txt" FAULT_OP=write FAULT_MODE=fail FAULT_ERRNO=ENOSPC \
    FAULT_AFTER_BYTES=100000 -- in.txt out.txt

  [[ $status -eq 1 ]]
  only_error_line "rowsift: out.txt: write failed: No space left on device"
  [[ $(faults_injected) -eq 1 ]]
  [[ $(bytes_stored) -eq 60000 ]]
  holds_prefix out.txt in.copy 60000
  same_bytes in.txt in.copy
}

@test "a write that stores part of its bytes and then fails keeps exactly the stored part" {
  distinct_lines 2000 >in.txt
  cp in.txt in.copy

  sift_faulty FAULT_PATH="$WORK/out.txt" FAULT_OP=write FAULT_MODE=partial FAULT_ERRNO=ENOSPC \
    FAULT_AFTER_BYTES=100007 -- in.txt out.txt

  [[ $status -eq 1 ]]
  only_error_line "rowsift: out.txt: write failed: No space left on device"
  [[ $(bytes_stored) -eq 100007 ]]
  holds_prefix out.txt in.copy 100007
  same_bytes in.txt in.copy
}

@test "a full disk at the final flush leaves an empty target" {
  printf 'b\na\nb\nc\n' >in.txt
  cp in.txt in.copy

  sift_faulty FAULT_PATH="$WORK/out.txt" FAULT_OP=write FAULT_MODE=fail FAULT_ERRNO=ENOSPC -- in.txt out.txt

  [[ $status -eq 1 ]]
  only_error_line "rowsift: out.txt: write failed: No space left on device"
  [[ $(faults_injected) -eq 1 ]]
  [[ -f out.txt && ! -s out.txt ]]
  same_bytes in.txt in.copy
}

@test "a quota error inside a line longer than the buffer, written straight through" {
  # 10 pending bytes are flushed, then the 150000-byte line goes out in one
  # write, of which the file takes 70000 bytes in all.
  { printf 'short one\n'; head -c 150000 /dev/zero | tr '\0' x; printf '\nshort one\n'; } >in.txt
  cp in.txt in.copy

  sift_faulty FAULT_PATH="$WORK/out.txt" FAULT_OP=write FAULT_MODE=partial FAULT_ERRNO=EDQUOT \
    FAULT_AFTER_BYTES=70000 -- in.txt out.txt

  [[ $status -eq 1 ]]
  only_error_line "rowsift: out.txt: write failed: Disk quota exceeded"
  [[ $(grep -c '^write' fault.log) -eq 3 ]]  # 10 bytes, the partial line, the failure
  holds_prefix out.txt in.copy 70000
  same_bytes in.txt in.copy
}

@test "a failing close of the target is an error, after every byte went out" {
  distinct_lines 1000 >in.txt
  cp in.txt in.copy

  sift_faulty FAULT_PATH="$WORK/out.txt" FAULT_OP=close FAULT_MODE=fail FAULT_ERRNO=EIO -- in.txt out.txt

  [[ $status -eq 1 ]]
  only_error_line "rowsift: out.txt: close failed: Input/output error"
  [[ $(faults_injected) -eq 1 ]]
  same_bytes out.txt in.copy
  same_bytes in.txt in.copy
}

@test "a UTF-16 source onto a full disk: the target is the converted text up to a whole buffer" {
  distinct_lines 3000 >expected.txt
  to_utf16 le <expected.txt >in.txt
  cp in.txt in.copy

  sift_faulty FAULT_PATH="$WORK/out.txt" FAULT_OP=write FAULT_MODE=fail FAULT_ERRNO=ENOSPC \
    FAULT_AFTER_BYTES=150000 -- in.txt out.txt

  [[ $status -eq 1 ]]
  only_error_line "rowsift: out.txt: write failed: No space left on device"
  holds_prefix out.txt expected.txt 120000
  same_bytes in.txt in.copy
}

@test "/dev/full as the target fails at the first write" {
  distinct_lines 10 >in.txt
  sift -- in.txt /dev/full
  [[ $status -eq 1 ]]
  only_error_line "rowsift: /dev/full: write failed: No space left on device"
}

@test "a full disk while the source pipe is idle ends the run at once" {
  distinct_lines 2000 >in.txt
  mkfifo source.fifo
  # The writer keeps the pipe open and idle, for 10 s at most, until the run is over.
  (
    head -c 120000 in.txt
    for _ in {1..200}; do
      [[ -e over ]] && exit
      sleep 0.05
    done
    : >slept
  ) >source.fifo 3>&- &

  sift -- source.fifo /dev/full
  : >over
  wait
  [[ $status -eq 1 ]]
  only_error_line "rowsift: /dev/full: write failed: No space left on device"
  [[ ! -e slept ]]
}

@test "a target named /dev/stdout is the shell's descriptor: written where it stands, never cut" {
  printf 'b\na\nb\n' >in.txt
  for name in /dev/stdout /dev/fd/1 /proc/self/fd/1; do
    printf 'old\n' >log.txt
    setsid -w "$ROWSIFT" in.txt "$name" </dev/null >>log.txt
    [[ $(cat log.txt) == $'old\nb\na' ]]
    { echo header && setsid -w "$ROWSIFT" in.txt "$name" </dev/null && echo footer; } >framed.txt
    [[ $(cat framed.txt) == $'header\nb\na\nfooter' ]]
  done
  # Any descriptor the shell gave, by any of its names.
  for name in /dev/stderr /dev/fd/2 /proc/self/fd/2 /dev/fd/6 /proc/self/fd/6; do
    printf 'old\n' >log.txt
    setsid -w "$ROWSIFT" in.txt "$name" </dev/null 2>>log.txt 6>>log.txt
    [[ $(cat log.txt) == $'old\nb\na' ]]
  done

  # The source itself behind the descriptor is refused before a line is
  # written, and the refusal goes to standard error rather than into it.
  cp in.txt in.copy
  status=0
  setsid -w "$ROWSIFT" in.txt /dev/stdout </dev/null >>in.txt 2>stderr || status=$?
  [[ $status -eq 1 ]]
  [[ $(cat stderr) == $'Failed to open target file /dev/stdout\nrowsift: /dev/stdout: is the source file' ]]
  same_bytes in.txt in.copy
  # Standard error as the source: the refusal goes to standard output; both
  # files of the run: nowhere, and only the status tells.
  status=0
  setsid -w "$ROWSIFT" in.txt /dev/stderr </dev/null >stdout 2>>in.txt || status=$?
  [[ $status -eq 1 ]]
  [[ $(cat stdout) == $'Failed to open target file /dev/stderr\nrowsift: /dev/stderr: is the source file' ]]
  same_bytes in.txt in.copy
  status=0
  setsid -w "$ROWSIFT" in.txt /dev/stdout </dev/null >>in.txt 2>>in.txt || status=$?
  [[ $status -eq 1 ]]
  same_bytes in.txt in.copy
  # A descriptor the tool opened itself (the source) is not one the shell gave.
  status=0
  setsid -w "$ROWSIFT" in.txt out.txt --exclude=/dev/fd/3 </dev/null >stdout 2>stderr 3>&- || status=$?
  [[ $status -eq 1 && $(cat stderr) == "rowsift: /dev/fd/3: Bad file descriptor" ]]
  status=0
  setsid -w "$ROWSIFT" in.txt in.txt </dev/null >>in.txt 2>stderr || status=$?
  [[ $status -eq 1 ]]
  [[ $(cat stderr) == $'Source file is identical to target file! \nin.txt' ]]
  same_bytes in.txt in.copy
}

@test "a run locks its files: a second run can neither write its target nor cut its source" {
  printf 'b\na\nb\n' >in.txt
  cp in.txt in.copy
  mkfifo source.fifo target.fifo
  # Run 1 writes out.txt from a pipe that gives one line, then idles until "over".
  (
    printf 'x\n'
    for _ in {1..200}; do
      [[ -e over ]] && exit
      sleep 0.05
    done
  ) >source.fifo 3>&- &
  setsid -w "$ROWSIFT" source.fifo out.txt </dev/null >/dev/null 2>&1 3>&- &
  # Run 2 reads in.txt and waits to open its target, a FIFO nobody reads yet.
  setsid -w "$ROWSIFT" in.txt target.fifo </dev/null >/dev/null 2>&1 3>&- &
  local locked=no
  holds_lock out.txt && holds_lock in.txt && locked=yes

  sift -- in.txt out.txt
  local first="$status $(cat stdout) / $(cat stderr)"
  sift -- out.txt in.txt
  local second="$status $(cat stdout) / $(cat stderr)"
  : >over
  timeout 10 cat target.fifo >run2.txt
  wait

  [[ $locked == yes ]]
  [[ $first == "1 Failed to open target file out.txt / rowsift: out.txt: is locked by another process" ]]
  [[ $second == "1 Failed to open target file in.txt / rowsift: in.txt: is locked by another process" ]]
  same_bytes in.txt in.copy
  [[ $(cat out.txt) == x && $(cat run2.txt) == $'b\na' ]]
}

@test "a full temporary folder: one line naming it, and the target holds every line decided before" {
  # The index has room for about 1600 of the lines; the rest are set
  # aside, and the folder fills once 20000 bytes of them have gone out.
  distinct_lines 3000 >in.txt
  mkdir tmp
  sift_faulty FAULT_PATH="$WORK/tmp" FAULT_OP=write FAULT_MODE=fail FAULT_ERRNO=ENOSPC FAULT_AFTER_BYTES=20000 \
    TMPDIR="$WORK/tmp" -- in.txt out.txt --memory=32K

  [[ $status -eq 1 ]]
  only_error_line "rowsift: $WORK/tmp: write failed: No space left on device"
  [[ $(faults_injected) -eq 1 ]]
  local size
  size=$(stat -c %s out.txt)
  ((size >= 100000 && size % 100 == 0))
  holds_prefix out.txt in.txt "$size"
  [[ -z $(ls -A tmp) ]]
  sift TMPDIR="$WORK/missing" -- in.txt out.txt  # refused before the target is cut
  [[ $status -eq 1 && $(<stderr) == "rowsift: $WORK/missing: No such file or directory" && -s out.txt ]]
}

@test "temporary files leave nothing behind: after success, after a failure, and when killed" {
  distinct_lines 3000 >in.txt
  mkdir tmp
  sift TMPDIR="$WORK/tmp" -- in.txt out.txt --memory=7
  [[ $status -eq 0 && -z $(ls -A tmp) ]]
  same_bytes out.txt in.txt
  sift TMPDIR="$WORK/tmp" -- in.txt /dev/full --memory=7
  [[ $status -eq 1 && -z $(ls -A tmp) ]]

  # SIGTERM while lines are set aside and the source pipe idles.
  mkfifo source.fifo
  (
    cat in.txt
    for _ in {1..200}; do
      [[ -e over ]] && exit
      sleep 0.05
    done
  ) >source.fifo 3>&- &
  setsid -w env TMPDIR="$WORK/tmp" "$ROWSIFT" source.fifo out.txt --memory=7 </dev/null >/dev/null 2>&1 3>&- &
  local pid=$! open=no
  for _ in {1..100}; do
    if ls -l "/proc/$pid/fd" 2>/dev/null | grep -q "$WORK/tmp/"; then
      open=yes
      break
    fi
    sleep 0.05
  done
  kill -TERM "$pid"
  status=0
  wait "$pid" || status=$?
  : >over
  wait
  [[ $open == yes && $status -eq 143 ]]
  [[ -z $(ls -A tmp) ]]
}

@test "a usage, help or version text that standard output does not take: exit 1 and the reason" {
  for asked in '' --help --version; do
    status=0 && setsid -w "$ROWSIFT" $asked >/dev/full 2>stderr </dev/null || status=$?
    [[ $status -eq 1 && $(<stderr) == "rowsift: standard output: write failed: No space left on device" ]]
  done
}

@test "a bounded run keeps few files open: 128 parts and more under ulimit -n 40" {
  seq 1 200000 | awk '{ print "n" ($1 * 7919 % 150000) }' >in.txt
  mkdir tmp
  sift -- in.txt expected.txt --duplicates=expected.dups
  for memory in 7 64K; do
    for source in in.txt /dev/stdin; do
      status=0
      (ulimit -n 40 && exec setsid -w env TMPDIR="$WORK/tmp" "$ROWSIFT" "$source" out.txt --memory=$memory \
        --duplicates=out.dups) <in.txt 2>stderr || status=$?
      [[ $status -eq 0 && ! -s stderr ]]
      same_bytes out.txt expected.txt
      same_bytes out.dups expected.dups
    done
  done
}

# The target is a FIFO that the test drains: the first byte tells that the
# second reading has begun (nothing is written before it with --memory=7),
# and the run then waits on the full pipe, far from the end of the source.
@test "the second reading: a line changed meanwhile stops the run; lines added to the end are no part of it" {
  distinct_lines 40000 >expected.txt
  mkdir tmp
  for change in edit append; do
    cp expected.txt in.txt
    rm -f out.fifo
    mkfifo out.fifo
    setsid -w env TMPDIR="$WORK/tmp" "$ROWSIFT" in.txt out.fifo --memory=7 >stdout 2>stderr </dev/null &
    local pid=$!
    exec 5<out.fifo
    dd bs=1 count=1 status=none <&5 >out.txt
    if [[ $change == edit ]]; then
      printf 'CHANGED' | dd of=in.txt bs=1 seek=3999900 conv=notrunc status=none
    else
      printf 'line added\nhalf a line' >>in.txt
    fi
    cat <&5 >>out.txt
    exec 5<&-
    status=0
    wait "$pid" || status=$?
    if [[ $change == edit ]]; then
      [[ $status -eq 1 ]]
      only_error_line "rowsift: in.txt: changed while it was read: its second reading gave other lines than the first"
    else
      [[ $status -eq 0 && ! -s stderr ]]
      same_bytes out.txt expected.txt
    fi
  done
}
