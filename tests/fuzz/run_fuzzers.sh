#!/usr/bin/env bash
# Runs every libFuzzer program of a TOLVANE_FUZZ build for a fixed time each,
# starting from its seeds. New inputs go to a scratch folder, never into the
# source tree; a crash leaves its input under BUILD/fuzz/findings/ (keep it
# in regressions/NAME/ once fixed) and fails the run.
# Usage: run_fuzzers.sh BUILD_DIR [SECONDS_FOR_THE_SCRIPT_TARGET]
set -u
build=${1:?usage: run_fuzzers.sh BUILD_DIR [SECONDS]}
script_seconds=${2:-30}
here=$(cd "$(dirname "$0")" && pwd)
findings="$build/fuzz/findings"
mkdir -p "$findings"

# target: seconds (the script engine is the largest surface)
declare -A budget=([fuzz_script]=$script_seconds [fuzz_dds]=8 [fuzz_tga]=7 [fuzz_settings]=8 [fuzz_mesh]=7)

status=0
for name in fuzz_script fuzz_dds fuzz_tga fuzz_settings fuzz_mesh; do
  bin="$build/fuzz/$name"
  [ -x "$bin" ] || continue
  work=$(mktemp -d /tmp/tolvane-fuzz-XXXXXX)
  dict=()
  [ -f "$here/$name.dict" ] && dict=(-dict="$here/$name.dict")
  echo "== $name for ${budget[$name]} s"
  # One worker; -timeout catches hangs, -rss_limit_mb runaway memory.
  TMPDIR="$work" ASAN_OPTIONS=detect_leaks=1 "$bin" "$work" "$here/seeds/$name" "${dict[@]}" \
    -max_total_time="${budget[$name]}" -timeout=10 -rss_limit_mb=2560 -max_len=4096 \
    -artifact_prefix="$findings/$name-" -print_final_stats=1 2>"$work/log"
  rc=$?
  grep -E "^#[0-9]+ +DONE|stat::number_of_executed_units|stat::peak_rss_mb|ERROR|SUMMARY" "$work/log"
  if [ $rc -ne 0 ]; then
    echo "$name: finding (exit $rc); log tail:"
    tail -40 "$work/log"
    status=1
  fi
  rm -rf "$work"
done
exit $status
