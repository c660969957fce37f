#!/usr/bin/env bash
# Installs what is missing, builds, and starts the game.
# Any arguments are passed to the game (see ./build/bin/game -help).
set -euo pipefail
cd "$(dirname "$0")"
./tools/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER_LAUNCHER=ccache >/dev/null
cmake --build build --target game
exec ./build/bin/game "$@"
