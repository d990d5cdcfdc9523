#!/bin/sh
# Runs a fuzz target for a short, fixed time over its seed corpus, detached
# from any terminal (the program's final key wait would block on one).
#   run_fuzzer.sh FUZZER WORK_DIR SECONDS SEED_CORPUS
# WORK_DIR is emptied first; libFuzzer writes new inputs there (the first
# corpus directory it is given) and any crash reproducer next to it, so the
# seed corpus in the source tree is only read.
set -eu
fuzzer=$1 work=$2 seconds=$3 seeds=$4
rm -rf "$work"
mkdir -p "$work/corpus"
exec setsid -w "$fuzzer" -max_total_time="$seconds" -seed=1 -timeout=10 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix="$work/" "$work/corpus" "$seeds"
