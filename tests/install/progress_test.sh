#!/usr/bin/env bash
# The progress line: drawn on standard error only when it is a terminal, never
# on standard output, never for a short run or a terminal target, always erased
# at the end, also before an error message. And the terminal's mode after the
# key wait. The terminal is a pseudo-terminal made by script(1).
set -euo pipefail
tool=$1
command -v script >/dev/null || { echo "script (util-linux) is not installed"; exit 77; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cd "$tmp"

erase=$'\r\e[K'
fail=0
check() {  # check <description> <condition...>
  local what=$1
  shift
  if ! "$@"; then
    echo "FAILED: $what"
    fail=1
  fi
}
ends_with_erase() { [[ $(tail -c ${#erase} "$1") == "$erase" ]]; }
holds() { grep -aqF -- "$2" "$1"; }
matches() { grep -aqE -- "$2" "$1"; }
# Nothing but the error after the error message: no line drawn after it.
quiet_after() {  # quiet_after <transcript> <message start>
  local text
  text=$(cat -v "$1")
  [[ ${text##*"$2"} != *kept* ]]
}

# Under a pseudo-terminal; the transcript is everything the tool wrote to it.
on_pty() {  # on_pty <transcript> <command>
  setsid -w script -qfec "$2" /dev/null </dev/null >"$1"
}

# About 2 MB, 32 blocks of 64 KiB: 50000 distinct lines, each four times.
seq 1 200000 | awk '{ print "row " ($1 % 50000) }' >in.txt
awk '!seen[$0]++' in.txt >expected.txt

# Without the test hook the line waits a second, so a short run (here four
# blocks, a few milliseconds) shows nothing.
head -c 250000 in.txt >short.txt
on_pty quick.log "'$tool' short.txt quick.txt"
check "a short run draws nothing" test ! -s quick.log
check "a short run writes the kept lines" cmp -s quick.txt <(awk '!seen[$0]++' short.txt)

# The hook drops the one-second delay so that a short file shows the line.
export ROWSIFT_PROGRESS_DELAY_MS=0

# (a) Standard error is not a terminal: nothing on it, nothing on stdout.
setsid -w "$tool" in.txt plain.txt >plain.out 2>plain.err
check "no terminal: standard error stays empty" test ! -s plain.err
check "no terminal: standard output stays empty" test ! -s plain.out
check "no terminal: the kept lines" cmp -s plain.txt expected.txt

# (b) Standard error is a terminal: the line shows size and percentage, goes
# to standard error only, and is erased at the end.
on_pty tty.log "'$tool' in.txt tty.txt >tty.out"
check "terminal: the line is drawn" holds tty.log " kept, "
check "terminal: the line shows the source size" matches tty.log " of 1\.9 MiB \([0-9]+%\)"
check "terminal: the line is erased at the end" ends_with_erase tty.log
check "terminal: standard output stays empty" test ! -s tty.out
check "terminal: the same kept lines" cmp -s tty.txt expected.txt

# (c) A pipe has no size: bytes read alone, no percentage.
on_pty pipe.log "cat in.txt | '$tool' /dev/stdin pipe.txt"
check "pipe: bytes read alone" holds pipe.log " read, "
check "pipe: no percentage" bash -c "! grep -aqF % pipe.log"
check "pipe: the line is erased at the end" ends_with_erase pipe.log
check "pipe: the same kept lines" cmp -s pipe.txt expected.txt

# (d) A run that fails (a full disk) erases the line before the error line, and
# nothing is drawn after it.
seq 1 200000 | awk '{ print "distinct " $1 }' >distinct.txt
set +e
on_pty full.log "'$tool' distinct.txt /dev/full"
status=$?
set -e
check "full disk: status 1" test "$status" -eq 1
check "full disk: the line is drawn" holds full.log " kept, "
check "full disk: erased just before the error" holds full.log "${erase}rowsift: /dev/full: "
check "full disk: nothing drawn after the error" quiet_after full.log "rowsift: /dev/full: "

# (e) The target is the terminal itself: no line among the kept lines.
on_pty target.log "'$tool' in.txt /dev/stdout"
check "terminal target: no line drawn" bash -c "! grep -aqF ' kept, ' target.log"
check "terminal target: the kept lines" cmp -s <(tr -d '\r' <target.log) expected.txt

# (f) The key wait after the usage text, ended by a signal rather than a key:
# echo and line editing come back. The keyboard (script's input) stays silent.
setsid -w script -qfec "for sig in TERM INT HUP; do
    timeout --foreground -s \$sig 0.5 '$tool'; echo \"\$sig: \$(stty -a | tr '\n' ' ')\"
  done" /dev/null < <(sleep 2) >wait.log
for sig in TERM INT HUP; do
  check "key wait ended by SIG$sig: echo and line editing are back" matches wait.log "^$sig: .* icanon .* echo "
done

# (g) No wait when the usage text goes elsewhere: a key typed ahead is left to the next reader.
printf 'x\n' | setsid -w script -qfec "'$tool' >/dev/null; head -c2 >typed.txt" /dev/null >/dev/null
check "usage text redirected: no key wait" test "$(cat typed.txt)" = x

if ((fail)); then
  for log in quick tty pipe full target wait; do
    echo "--- $log.log"
    cat -v "$log.log" | tr '\r' '\n' | tail -5
  done
fi
exit $fail
