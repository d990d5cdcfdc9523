#!/usr/bin/env bash
# Runs lowmode on one end-to-end case and compares what a user gets with what
# the case expects, byte for byte.
#
#   run_case.sh LOWMODE CASE_DIR
#
# CASE_DIR holds:
#   input            the answers, fed on standard input
#   expected-stdout  everything printed
#   expected-status  the exit status
#   expected-report  (optional) the report file report.txt afterwards; when it
#                    is missing, the run must not create report.txt
#
# The program runs in a new session, detached from any terminal, so its final
# key wait returns at once (a normal run then ends with status 255). It runs
# in an empty folder, which is where report.txt lands.
set -u
lowmode=$1
case_dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

(cd "$work" && setsid -w "$lowmode" < "$case_dir/input" > stdout 2> stderr)
status=$?
failed=0

if ! cmp -s "$case_dir/expected-stdout" "$work/stdout"; then
  echo "standard output differs:"
  diff "$case_dir/expected-stdout" "$work/stdout" | head -n 40
  failed=1
fi
if [ "$status" != "$(cat "$case_dir/expected-status")" ]; then
  echo "exit status $status, expected $(cat "$case_dir/expected-status")"
  failed=1
fi
if [ -s "$work/stderr" ]; then
  echo "unexpected output on standard error:"
  head -c 2000 "$work/stderr"
  failed=1
fi
if [ -f "$case_dir/expected-report" ]; then
  if [ ! -f "$work/report.txt" ]; then
    echo "report.txt was not created"
    failed=1
  elif ! cmp -s "$case_dir/expected-report" "$work/report.txt"; then
    echo "report differs:"
    diff "$case_dir/expected-report" "$work/report.txt" | head -n 40
    failed=1
  fi
elif [ -e "$work/report.txt" ]; then
  echo "report.txt was created, but the case expects none"
  failed=1
fi
exit $failed
