#!/usr/bin/env bats
# Huge inputs (CTest label "huge"). Each case is run on its own by name:
#   bats --filter '^huge sparse:' huge.bats
# Files go to the test's temporary folder and are deleted afterwards.

load helpers

# needs_mib <MiB>: skips, saying so, when the disk cannot hold the files.
needs_mib() {
  local free
  free=$(free_mib)
  if [[ $free -lt $1 ]]; then
    skip "needs $1 MiB free in $WORK, has $free MiB"
  fi
}

# The tool's NUL rule on a run of NULs after a line end: 49 NULs stay as 0xB7,
# the 50th ends the line and is dropped, so every 50 NULs make one line of
# 49 0xB7 bytes; what is left of the run begins the next line.
b7_times() {
  head -c "$1" /dev/zero | tr '\0' '\267'
}

@test "huge sparse: a source over 4 GiB with a hole of NULs is deduplicated exactly" {
  needs_mib 64
  local hole=$((4 * 1024 * 1024 * 1024 + 11)) # 50 * 85899345 + 7 NULs
  printf 'alpha\nbeta\nalpha\n' >in.txt
  truncate -s $((17 + hole)) in.txt
  printf 'gamma\nalpha\ndelta\nBETA\n' >>in.txt
  [[ $(stat -c %s in.txt) -gt 4294967296 ]]
  local before
  before=$(stat -c %Y.%s in.txt)

  sift -- in.txt out.txt

  [[ $status -eq 0 ]]
  [[ ! -s stderr && ! -s stdout ]]
  {
    printf 'alpha\nbeta\n'
    b7_times 49
    printf '\n'
    b7_times 7
    printf 'gamma\ndelta\n'
  } >expected.txt
  same_bytes out.txt expected.txt
  [[ $(stat -c %Y.%s in.txt) == "$before" ]]
}

@test "huge long_line: a line of 2^31 bytes stops the run; one of 2^31 - 2 bytes is kept whole" {
  needs_mib 4200
  {
    printf 'first\nsecond\n'
    head -c $((2 ** 31)) /dev/zero | tr '\0' a
  } >in.txt

  sift -- in.txt out.txt

  [[ $status -eq 1 ]]
  [[ $(wc -l <stderr) -eq 1 && ! -s stdout ]]
  grep -q '^rowsift: in\.txt: .*line.*2147483647' stderr
  # The two short lines were still in the write buffer: nothing reached the file.
  [[ -f out.txt && ! -s out.txt ]]

  # The longest line the tool takes: 2^31 - 2 bytes, no terminator. The first
  # block has no LF and no CR, so the target's style is the system's: LF.
  head -c $((2 ** 31 - 2)) /dev/zero | tr '\0' a >in.txt
  sift -- in.txt out.txt
  [[ $status -eq 0 && ! -s stderr ]]
  [[ $(stat -c %s out.txt) -eq $((2 ** 31 - 1)) ]]
  cmp -s -n $((2 ** 31 - 2)) in.txt out.txt
  [[ $(tail -c 1 out.txt | od -An -tx1 | tr -d ' ') == 0a ]]
  rm -f in.txt out.txt
}

@test "huge empty_lines: 20 million empty lines become one" {
  needs_mib 64
  head -c 20000000 /dev/zero | tr '\0' '\n' >in.txt

  sift -- in.txt out.txt
  [[ $status -eq 0 && ! -s stderr ]]
  [[ "$(od -An -tx1 out.txt | tr -d ' ')" == 0a ]]

  sift -- in.txt out.txt /r
  [[ $status -eq 0 && ! -s stderr ]]
  [[ -f out.txt && ! -s out.txt ]]
}
