# Shared by the terminal tests: one private tmux server with one pane running
# a plain shell in a fresh folder. Source it with `lowmode` set; it defines
# $work, screen, fail, wait_for and type_line, and cleans up on exit.
work=$(mktemp -d)
socket="lowmode-test-$$"
tmux_() { tmux -L "$socket" -f /dev/null "$@"; }
cleanup() { tmux_ kill-server 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT

screen() { tmux_ capture-pane -p -J -S -2000 -t main; }
fail() { echo "FAIL: $*"; echo "--- screen ---"; screen; exit 1; }
# Waits until the screen shows `text` for the `count`th time.
wait_for() {
  local text=$1 count=${2:-1}
  for _ in $(seq 200); do
    [ "$(screen | grep -cF -- "$text")" -ge "$count" ] && return 0
    sleep 0.05
  done
  fail "timed out waiting for '$text' (occurrence $count)"
}
type_line() { tmux_ send-keys -t main -l -- "$1"; tmux_ send-keys -t main Enter; }
# Checks that the pane's terminal is in its ordinary mode: line editing and echo on.
expect_cooked_terminal() {
  type_line "stty -a | tr ' ' '\\n' | grep -xE -- '-?(icanon|echo)' | tr '\\n' ' '; echo MODES"
  wait_for "MODES" "${1:-1}"
  screen | grep -F "MODES" | tail -n 1 | grep -qF "icanon echo MODES" || fail "terminal left in raw mode"
}

tmux_ new-session -d -s main -x 160 -y 50 -c "$work" "env PS1='$ ' bash --norc --noprofile" \
  || fail "cannot start tmux"
wait_for '$ '
