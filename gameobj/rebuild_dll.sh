#!/bin/sh
# Rebuilds the game-object module from the sources beside this script into
# gameobj_new.so in the program directory, where the running game picks it
# up. The game starts this script with TOLVANE_APP_PATH set to its program
# directory. Compiler output goes to standard output; exit code 0 only when
# gameobj_new.so was written.
#
# The program directory holds gameobj_rebuild.cfg, written by the build: when
# these sources are the ones the build was made from, the build's own module
# target is rebuilt (incremental); otherwise (a copy of the sources) a small
# build of the module alone is kept under the program directory.
# Plain ASCII messages: the game's font has no typographic quotes.
export LC_ALL=C
src=$(cd "$(dirname "$0")" && pwd -P) || exit 3
app=${TOLVANE_APP_PATH:-$src/../bin/}
case "$app" in */) ;; *) app="$app/" ;; esac
cfg="${app}gameobj_rebuild.cfg"
if [ ! -f "$cfg" ]; then
  echo "rebuild_dll.sh: error: no $cfg (build the game first)"
  exit 2
fi
. "$cfg"

if [ "$src" = "$GAMEOBJ_SOURCE_DIR" ]; then
  "$CMAKE_COMMAND" --build "$BUILD_DIR" --target gameobj_module || exit 1
  built="$MODULE_FILE"
else
  out="${app}gameobj-rebuild"
  if [ ! -f "$out/build.ninja" ]; then
    log=$("$CMAKE_COMMAND" -S "$src" -B "$out" -G Ninja -DTOLVANE_ROOT="$TOLVANE_ROOT" \
      -DSQUIRREL_INCLUDE_DIR="$SQUIRREL_INCLUDE_DIR" -DCMAKE_BUILD_TYPE="$BUILD_TYPE" \
      -DCMAKE_CXX_COMPILER="$CXX_COMPILER" -DCMAKE_CXX_COMPILER_LAUNCHER="$COMPILER_LAUNCHER" 2>&1) || {
      echo "$log"
      echo "rebuild_dll.sh: error: configuring the module build failed"
      exit 1
    }
  fi
  "$CMAKE_COMMAND" --build "$out" || exit 1
  built="$out/gameobj.so"
fi
cp "$built" "${app}gameobj_new.so.part" && mv -f "${app}gameobj_new.so.part" "${app}gameobj_new.so" || exit 1
echo "gameobj_new.so written"
