#!/usr/bin/env bash
# `cmake --install` lays out the program, its manual page and the examples
# under the prefix, and the installed program runs an installed example.
#
#   install_test.sh BUILD_DIR
set -u
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

cmake --install "$build" --prefix "$prefix" > /dev/null || fail "cmake --install failed"
[ -x "$prefix/bin/lowmode" ] || fail "no bin/lowmode"
head -n 1 "$prefix/share/man/man1/lowmode.1" | grep -q '^\.TH LOWMODE 1' || fail "no manual page lowmode(1)"
example="$prefix/share/doc/lowmode/examples/spring-chain.txt"
[ -f "$example" ] || fail "no examples"
(cd "$prefix" && setsid -w "$prefix/bin/lowmode" < "$example" > stdout)
[ $? = 255 ] || fail "the installed program did not complete a run"
grep -qF "lambda =       107.18" "$prefix/stdout" || fail "the installed program gave no result"
echo "install passed"
