#!/usr/bin/env bash
# Runs every libFuzzer program of a TOLVANE_FUZZ build for a fixed time each,
# starting from its seeds. New inputs go to a scratch folder, never into the
# source tree; a crash leaves its input under BUILD/fuzz/findings/ (keep it
# in regressions/NAME/ once fixed) and fails the run.
#
# Besides the kept seeds, each target starts from the game's own files of a
# built program folder (GAME_BIN, e.g. build/bin of the release build): the
# generated textures, font and meshes, and the scripts. Those are what the
# parsers meet in play, so fuzzing starts past the header checks.
# Usage: run_fuzzers.sh BUILD_DIR [SECONDS_FOR_THE_SCRIPT_TARGET] [GAME_BIN]
set -u
build=${1:?usage: run_fuzzers.sh BUILD_DIR [SECONDS] [GAME_BIN]}
script_seconds=${2:-30}
game_bin=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
findings="$build/fuzz/findings"
mkdir -p "$findings"

# target: seconds (the script engine is the largest surface)
declare -A budget=([fuzz_script]=$script_seconds [fuzz_dds]=8 [fuzz_tga]=7 [fuzz_settings]=8 [fuzz_mesh]=7
  [fuzz_record]=8)
# Longest input per target: whole generated textures and the font must fit,
# or every seed would only reach the truncation check.
declare -A max_len=([fuzz_script]=16384 [fuzz_dds]=1048576 [fuzz_tga]=524288 [fuzz_settings]=4096
  [fuzz_mesh]=16384 [fuzz_record]=16384)

# The game's files for target $1, copied into folder $2.
gather_game_files() {
  [ -n "$game_bin" ] && [ -d "$game_bin" ] || return 0
  local pattern
  case $1 in
    fuzz_dds) pattern='*.dds' ;;
    fuzz_tga) pattern='*.tga' ;;
    fuzz_mesh) pattern='*.mesh' ;;
    fuzz_script) pattern='*.nut' ;;
    *) return 0 ;;
  esac
  find -L "$game_bin" -maxdepth 3 -name "$pattern" -size -1024k -exec cp {} "$2"/ \; 2>/dev/null
  return 0
}

status=0
for name in fuzz_script fuzz_dds fuzz_tga fuzz_settings fuzz_mesh fuzz_record; do
  bin="$build/fuzz/$name"
  [ -x "$bin" ] || continue
  work=$(mktemp -d /tmp/tolvane-fuzz-XXXXXX)
  mkdir "$work/corpus" "$work/game"
  gather_game_files "$name" "$work/game"
  dict=()
  [ -f "$here/$name.dict" ] && dict=(-dict="$here/$name.dict")
  echo "== $name for ${budget[$name]} s"
  # One worker; -timeout catches hangs, -rss_limit_mb runaway memory.
  TMPDIR="$work" ASAN_OPTIONS=detect_leaks=1 "$bin" "$work/corpus" "$here/seeds/$name" "$work/game" "${dict[@]}" \
    -max_total_time="${budget[$name]}" -timeout=10 -rss_limit_mb=2560 -max_len="${max_len[$name]}" \
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
