#!/usr/bin/env bats
# Interrupted and short transfers that are followed by success are retried:
# the run completes with exactly the output of an undisturbed run.

load helpers

# 1500 different lines, the first 700 of them again in upper case (equal when
# case is ignored), a 70000-byte line (longer than the write buffer) and the
# first 300 once more. Only the first 1500 lines and the long line stay.
mixed_source() {
  distinct_lines 1500
  distinct_lines 700 | tr a-z A-Z
  head -c 70000 /dev/zero | tr '\0' q
  printf '\n'
  distinct_lines 300
}

expected_target() {
  distinct_lines 1500
  head -c 70000 /dev/zero | tr '\0' q
  printf '\n'
}

# check_complete <source> <watched file> <settings...>: the run with the
# given faults ends well, with the expected target, and the faults did happen.
check_complete() {
  local source=$1 watched=$2
  shift 2
  sift_faulty FAULT_PATH="$WORK/$watched" "$@" -- "$source" out.txt
  if [[ $status -ne 0 || -s stderr || -s stdout ]]; then
    echo "with $*: status $status, stderr: $(cat stderr)" >&2
    return 1
  fi
  same_bytes out.txt expected.txt
  if [[ $(faults_injected) -eq 0 ]]; then
    echo "with $*: no fault was injected" >&2
    return 1
  fi
  same_bytes "$source" "$source.copy"
}

setup_sources() {
  mixed_source >in8.txt
  mixed_source | to_utf16 le >in16le.txt
  mixed_source | to_utf16 be >in16be.txt
  for f in in8.txt in16le.txt in16be.txt; do cp "$f" "$f.copy"; done
  expected_target >expected.txt
  sift -- in8.txt clean.txt
  [[ $status -eq 0 ]]
  same_bytes clean.txt expected.txt
}

@test "interrupted reads and writes (EINTR on every other call) are retried" {
  setup_sources
  for source in in8.txt in16le.txt in16be.txt; do
    check_complete "$source" "$source" FAULT_OP=read FAULT_MODE=eintr
    check_complete "$source" out.txt FAULT_OP=write FAULT_MODE=eintr
  done
}

@test "short reads and writes of 1 to 7 bytes are continued" {
  setup_sources
  for source in in8.txt in16le.txt in16be.txt; do
    check_complete "$source" "$source" FAULT_OP=read FAULT_MODE=short FAULT_SHORT_MAX=7
    check_complete "$source" out.txt FAULT_OP=write FAULT_MODE=short FAULT_SHORT_MAX=7
  done
  # Short reads that begin only after the first block.
  check_complete in16le.txt in16le.txt FAULT_OP=read FAULT_MODE=short FAULT_SHORT_MAX=3 \
    FAULT_AFTER_BYTES=131073
}

@test "an interrupted open of the source or the target is retried" {
  setup_sources
  check_complete in8.txt in8.txt FAULT_OP=open FAULT_MODE=eintr
  check_complete in8.txt out.txt FAULT_OP=open FAULT_MODE=eintr
}

@test "an interrupted close of the target: the descriptor is gone and every byte went out" {
  setup_sources
  check_complete in8.txt out.txt FAULT_OP=close FAULT_MODE=eintr
}

@test "the run needs no seek: failing seeks change nothing" {
  setup_sources
  for source in in8.txt in16be.txt; do
    sift_faulty FAULT_PATH="$WORK/$source" FAULT_OP=lseek FAULT_ERRNO=ESPIPE -- "$source" out.txt
    [[ $status -eq 0 && ! -s stderr ]]
    same_bytes out.txt expected.txt
  done
}

@test "a failing close of the source, once the run is done, spoils nothing" {
  setup_sources
  check_complete in16be.txt in16be.txt FAULT_OP=close FAULT_MODE=fail FAULT_ERRNO=EIO
}
