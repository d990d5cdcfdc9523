#!/usr/bin/env bash
# Hostile answers must not crash lowmode or cost it unbounded memory or time.
#
#   hostile_input_test.sh LOWMODE CASE
#
# CASE is one of: long-name, blank-lines, letters, truncated. Each feeds the
# real program (detached from any terminal) and checks its exit status, that
# it wrote nothing to standard error, and the peak memory GNU time measured.
set -u
lowmode=$1
case_name=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
failed=0
fail() { echo "FAIL: $*"; failed=1; }

# run INPUT_FILE EXPECTED_STATUS MAX_KB: runs the program on INPUT_FILE.
run() {
  local input=$1 expected=$2 max_kb=$3 status peak
  timeout 120 /usr/bin/time -f '%M' -o peak.txt setsid -w "$lowmode" < "$input" > stdout 2> stderr
  status=$?
  peak=$(tail -n 1 peak.txt)
  [ "$status" = "$expected" ] || fail "$input: exit status $status, expected $expected"
  [ -s stderr ] && fail "$input: wrote to standard error: $(head -c 500 stderr)"
  [ "$peak" -le "$max_kb" ] || fail "$input: peak memory ${peak} KB, bound ${max_kb} KB"
}

answers() { printf 'report.txt\n2\n1 0 1\n2 -1 2\n1\n'; }

case $case_name in
long-name)
  # A 100 MB report name: kept whole, refused by the system, printed back.
  head -c 100000000 /dev/zero | tr '\0' 'a' > name.txt
  run name.txt 1 800000
  grep -q "(File name too long)" stdout || fail "no 'File name too long' message"
  size=$(wc -c < stdout)
  [ "$size" -gt 100000000 ] || fail "the name was not printed back whole ($size bytes)"
  ;;
blank-lines)
  # A million blank lines between the file name and n are skipped.
  { printf 'report.txt\n'; yes '  ' | head -n 1000000; printf '2\n1 0 1\n2 -1 2\n1\n'; } > blanks.txt
  run blanks.txt 255 200000
  grep -q "7.07107e-001" report.txt || fail "no results after the blank lines"
  ;;
letters)
  # A stream of letters where the matrices should be: every entry fails at
  # once, K stays zero and the first pivot stops the run.
  { printf 'report.txt 2 '; head -c 20000000 /dev/zero | tr '\0' 'x'; } > letters.txt
  run letters.txt 1 200000
  grep -q "diagonal term  0 0 equals zero" stdout || fail "no pivot message"
  ;;
truncated)
  # The answers cut off at every byte: each run ends with status 1 (no name,
  # an illegal n, a pivot stop) or 255 (a complete run), never a crash.
  answers > full.txt
  size=$(wc -c < full.txt)
  for ((cut = 0; cut <= size; cut++)); do
    head -c "$cut" full.txt > cut.txt
    rm -f report.txt
    timeout 30 setsid -w "$lowmode" < cut.txt > stdout 2> stderr
    status=$?
    case $status in 1|255) ;; *) fail "cut at $cut: exit status $status" ;; esac
    [ -s stderr ] && fail "cut at $cut: wrote to standard error"
  done
  ;;
*)
  echo "unknown case $case_name"; exit 2 ;;
esac
exit $failed
