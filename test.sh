#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test headless:
# first the whole suite in the optimised build, then the unit tests again in a
# debug build with AddressSanitizer and UndefinedBehaviorSanitizer, then (with
# clang) each fuzz target for a short fixed time, about a minute in all.
set -uo pipefail
cd "$(dirname "$0")"
./tools/deps.sh || exit 1

JOBS=$(nproc)
LAUNCHER=()
command -v ccache >/dev/null && LAUNCHER=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

# Rendering tests and game runs need a display: use a private virtual one.
export TOLVANE_NO_MSGBOX=1
# No test may read or write the user's real settings.
TEST_CONFIG_HOME=$(mktemp -d /tmp/tolvane-test-config-XXXXXX)
export XDG_CONFIG_HOME="$TEST_CONFIG_HOME"
XVFB_PID=""
if command -v Xvfb >/dev/null; then
  for n in $(seq 90 120); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    export DISPLAY=":$n"
    sleep 1
    break
  done
fi
cleanup() {
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null
  rm -rf "$TEST_CONFIG_HOME"
}
trap cleanup EXIT

status=0
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${LAUNCHER[@]}" >/dev/null || exit 1
cmake --build build -j "$JOBS" || exit 1
(cd build && ctest --output-on-failure -j "$JOBS" --timeout 600) || status=1

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTOLVANE_SANITIZE=ON -DTOLVANE_BUILD_BENCH=OFF "${LAUNCHER[@]}" >/dev/null || exit 1
cmake --build build-asan -j "$JOBS" || exit 1
# Leaks inside the system's libraries (the session bus, the GL driver) are
# not ours: tests/lsan.supp names them, so a leak report means our code.
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS="suppressions=$PWD/../tests/lsan.supp" \
  ctest --output-on-failure -j "$JOBS" -L unit --timeout 600) || status=1

if command -v clang++ >/dev/null; then
  cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
    -DCMAKE_CXX_COMPILER=clang++ -DTOLVANE_SANITIZE=ON -DTOLVANE_FUZZ=ON -DTOLVANE_BUILD_BENCH=OFF \
    "${LAUNCHER[@]}" >/dev/null || exit 1
  cmake --build build-fuzz -j "$JOBS" --target fuzz_script fuzz_dds fuzz_tga fuzz_settings fuzz_mesh fuzz_record \
    || exit 1
  # The release build's program folder gives the fuzzers the game's own files.
  tests/fuzz/run_fuzzers.sh build-fuzz 30 build/bin || status=1
else
  echo "clang++ not found: fuzzing skipped"
fi

exit $status
