#!/usr/bin/env bash
# What the report file holds when a run ends other than by a key press:
# a write error part way through, SIGTERM or SIGHUP at the final key prompt,
# and the terminal being closed there. (The normal end, an illegal n and a
# vanishing pivot are end-to-end cases of their own.)
#
#   endings_test.sh LOWMODE SMALL_ANSWERS LARGE_CASE_DIR
#
# SMALL_ANSWERS is an answer file; LARGE_CASE_DIR an end-to-end case whose
# report (expected-report) is larger than 1 KiB.
set -u
lowmode=$1
answers=$2
large_case=$3
source "$(dirname "$0")/tmux_session.sh"

# 1. The file system refuses the report beyond 1 KiB: the program says so
# instead of claiming success, ends with status 1, and the report holds
# exactly what could be written.
mkdir "$work/limited"
( cd "$work/limited" && ulimit -f 1 && trap '' XFSZ && exec setsid -w "$lowmode" < "$large_case/input" ) \
  | cat > "$work/limited.out"
status=${PIPESTATUS[0]}
[ "$status" = 1 ] || fail "write error: exit status $status, expected 1"
grep -qF "Calculation complete, but the output file could not be written: report.txt (File too large)" \
  "$work/limited.out" || fail "write error: no message"
cmp -s "$work/limited/report.txt" <(head -c 1024 "$large_case/expected-report") \
  || fail "write error: the report does not hold the first 1024 bytes of the full report"

# The report of a complete run, for comparison.
report_name=$(head -n 1 "$answers")
mkdir "$work/reference"
(cd "$work/reference" && setsid -w "$lowmode" < "$answers" > /dev/null)
[ -s "$work/reference/$report_name" ] || fail "no reference report"

# Starts the program in the pane's foreground, answers from the file, and
# waits for the final key prompt; the program's pid lands in DIR/pid.
cat > "$work/start.sh" <<SCRIPT
echo \$\$ > pid
exec '$lowmode' < '$answers' > stdout
SCRIPT
run_to_prompt() {
  mkdir "$work/$1"
  type_line "cd '$work/$1'; sh ../start.sh; echo \"EXIT=[\$?]\"; cd .."
  for _ in $(seq 200); do
    grep -qF "Press any key to exit." "$work/$1/stdout" 2>/dev/null && return 0
    sleep 0.05
  done
  fail "$1: the final prompt did not appear"
}
same_report() {
  cmp -s "$work/reference/$report_name" "$work/$1/$report_name" || fail "$1: the report differs from a complete run's"
}

# 2. SIGTERM and SIGHUP at the final prompt: the report is complete and the
# terminal is back in its ordinary mode.
modes=0
for signal in TERM:143 HUP:129; do
  name=${signal%%:*}
  run_to_prompt "sig$name"
  kill -"$name" "$(cat "$work/sig$name/pid")"
  wait_for "EXIT=[${signal##*:}]"
  same_report "sig$name"
  modes=$((modes + 1))
  expect_cooked_terminal "$modes"
done

# 3. The terminal window closed at the final prompt.
run_to_prompt closed
pid=$(cat "$work/closed/pid")
tmux_ kill-server
for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
kill -0 "$pid" 2>/dev/null && fail "the program outlived its terminal"
same_report closed
echo "endings passed"
