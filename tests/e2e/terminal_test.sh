#!/usr/bin/env bash
# Drives lowmode through a real terminal (a tmux pane), as a user meets it:
# every prompt must be on screen before its answer is typed, the final key
# comes from the terminal even when the answers come from a file, the key's
# value is the exit status, and the terminal is usable afterwards.
#
#   terminal_test.sh LOWMODE ANSWER_FILE
set -u
lowmode=$1
answers=$2
source "$(dirname "$0")/tmux_session.sh"

# 1. The whole dialogue typed at the prompts; 'q' at the end gives 113.
type_line "'$lowmode'; echo \"EXIT=[\$?]\""
wait_for "Enter output filename"; type_line "typed-report.txt"
wait_for "Enter n";               type_line "2"
wait_for "M  1  1 = ";            type_line "1"
wait_for "M  1  2 = ";            type_line "0"
wait_for "M  2  2 = ";            type_line "1"
wait_for "K  1  1 = ";            type_line "2"
wait_for "K  1  2 = ";            type_line "-1"
wait_for "K  2  2 = ";            type_line "2"
wait_for "1=no  2=yes";           type_line "1"
wait_for "Press any key to exit."
sleep 0.3
screen | grep -qE 'EXIT=\[[0-9]+\]' && fail "the program ended before a key was pressed"
tmux_ send-keys -t main q
wait_for "EXIT=[113]"
grep -qF "7.07107e-001" "$work/typed-report.txt" || fail "typed run wrote no results to its report"

# 2. Answers from a file, the key from the terminal: Enter, an arrow key and
# F1 give 13, 224 and 0.
run=1
for key_and_status in "Enter 13" "Up 224" "F1 0"; do
  set -- $key_and_status
  run=$((run + 1))
  type_line "'$lowmode' < '$answers'; echo \"EXIT=[\$?]\""
  wait_for "Press any key to exit." "$run"
  tmux_ send-keys -t main "$1"
  wait_for "EXIT=[$2]"
done

# 3. The terminal is back in its ordinary mode.
expect_cooked_terminal
echo "terminal dialogue passed"
