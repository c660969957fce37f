#!/usr/bin/env bash
# install_test.sh BUILD_DIR SOURCE_DIR
#
# The game as a player gets it: installed into a temporary prefix that is
# then made read-only and run by a user who cannot write it (nobody, when
# this runs as root), from another working directory, headless. Its
# screenshot and shader cache must land in that user's XDG folders, a folder
# it cannot write must be reported and survived, and the launcher must start
# the installed game. The menu entries and the metainfo must pass their
# validators, and the Debian package must hold the same files and name the
# libraries it needs.
set -uo pipefail
build=$(realpath "$1")
source=$(realpath "$2")
work=$(mktemp -d /tmp/tolvane-install-XXXXXX)
chmod 755 "$work"
prefix=$work/prefix
home=$work/home
app_id=games.mirevast.Tolvane
status=0
launcher_pid=""

section() { echo "[$SECONDS s] $*"; }
fail() {
  echo "FAIL: $*"
  status=1
}
cleanup() {
  [ -n "$launcher_pid" ] && kill "$launcher_pid" 2>/dev/null
  kill_installed_games
  chmod -R u+w "$work" 2>/dev/null
  rm -rf "$work"
}
# Games started from this prefix, found by their program file: nothing else
# runs it.
kill_installed_games() {
  for exe in /proc/[0-9]*/exe; do
    [ "$(readlink "$exe" 2>/dev/null)" = "$prefix/lib/tolvane/game" ] || continue
    pid=${exe#/proc/}
    kill "${pid%/exe}" 2>/dev/null
  done
}
trap cleanup EXIT

png_size() {  # width x height from the PNG header
  od -An -tu1 -j16 -N8 "$1" | awk '{printf "%dx%d", $3*256+$4, $7*256+$8}'
}

# ---- install ----
section install
cmake --install "$build" --prefix "$prefix" --strip >"$work/install.log" 2>&1 || {
  cat "$work/install.log"
  echo "FAIL: cmake --install"
  exit 1
}

for f in bin/tolvane bin/gatewick lib/tolvane/game lib/tolvane/gatewick lib/tolvane/worldgen lib/tolvane/gameobj.so \
  lib/tolvane/installed.txt lib/tolvane/font.tga lib/tolvane/castle.dds lib/tolvane/gen/main.nut lib/tolvane/sky.nut \
  lib/tolvane/test/fx.nut lib/tolvane/sounds/wind.wav lib/tolvane/land.sh lib/tolvane/meshes/stone1.mesh lib/tolvane/icons/tolvane-128.png \
  share/applications/$app_id.desktop share/applications/$app_id.Launcher.desktop share/metainfo/$app_id.metainfo.xml \
  share/doc/tolvane/tolvane-castle.png; do
  [ -e "$prefix/$f" ] || fail "not installed: $f"
done
[ "$(readlink "$prefix/bin/tolvane")" = "../lib/tolvane/game" ] || fail "bin/tolvane is not a link to the game"
[ "$(readlink "$prefix/bin/gatewick")" = "../lib/tolvane/gatewick" ] || fail "bin/gatewick is not a link to the launcher"
for f in gameobj_rebuild.cfg cache shots gameobj_new.so sq; do
  [ -e "$prefix/lib/tolvane/$f" ] && fail "build-tree file installed: $f"
done
for size in 48 128 256; do
  icon=$prefix/share/icons/hicolor/${size}x${size}/apps/$app_id.png
  [ "$(png_size "$icon")" = "${size}x${size}" ] || fail "icon $icon is not ${size}x${size}"
done
cmp -s "$prefix/lib/tolvane/icons/tolvane-128.png" "$prefix/share/icons/hicolor/128x128/apps/$app_id.png" ||
  fail "the windows' icon differs from the menu's"
shot=$prefix/share/doc/tolvane/tolvane-castle.png
[ "$(png_size "$shot")" = "1280x720" ] || fail "the metainfo screenshot is $(png_size "$shot"), not 1280x720"
leaks=$(grep -rlF -e "$source" -e "$build" "$prefix")
[ -z "$leaks" ] || fail "build-machine paths in: $leaks"

# ---- validators ----
section validators
desktop-file-validate "$prefix/share/applications/"*.desktop || fail "desktop-file-validate"
appstreamcli validate --no-net "$prefix/share/metainfo/$app_id.metainfo.xml" >"$work/appstream.log" 2>&1 ||
  fail "appstreamcli validate: $(cat "$work/appstream.log")"
grep -E '^(E|W):' "$work/appstream.log" && fail "appstreamcli reports errors or warnings"

# ---- run as a user who cannot write the prefix ----
section "installed game"
chmod -R a-w "$prefix"
mkdir -p "$home"
as_user=()
if [ "$(id -u)" -eq 0 ]; then
  chown -R nobody "$home"
  as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups --)
fi
"${as_user[@]}" test -w "$prefix/lib/tolvane" && fail "the test user can write the installed program folder"

# A clean environment: the user's HOME, nothing else of this session.
run_game() {  # log, extra environment..., -- game options...
  local log=$1
  shift
  local envs=()
  while [ "$1" != "--" ]; do envs+=("$1"); shift; done
  shift
  (cd / && "${as_user[@]}" env -i PATH=/usr/bin:/bin HOME="$home" SDL_VIDEODRIVER=offscreen TOLVANE_NO_MSGBOX=1 \
    "${envs[@]}" timeout 120 "$prefix/bin/tolvane" "$@") >"$log" 2>&1
}

data_dir="$home/data/Mirevast Games/Tolvane"
cache_dir="$home/.cache/Mirevast Games/Tolvane/cache"
run_game "$work/run1.log" XDG_DATA_HOME="$home/data" -- -360 -seed 3 -steps 10 -shot shot.png
rc=$?
[ $rc -eq 0 ] || fail "installed game exited with $rc: $(tail -5 "$work/run1.log")"
grep -qF "app path: '$prefix/lib/tolvane/'" "$work/run1.log" || fail "the game did not run from its program folder"
grep -qF "gameobj live rebuild off: installed game" "$work/run1.log" || fail "no line saying the live rebuild is off"
[ "$(png_size "$data_dir/shot.png")" = "640x360" ] || fail "no 640x360 screenshot in $data_dir"
ls "$cache_dir"/*.cache >/dev/null 2>&1 || fail "no shader cache in $cache_dir"

# The second start reads the cache it wrote.
run_game "$work/run2.log" -- -360 -seed 3 -steps 2
rc=$?
[ $rc -eq 0 ] || fail "second start exited with $rc: $(tail -5 "$work/run2.log")"
grep -q "loaded shader '.*' from cache" "$work/run2.log" || fail "the second start did not use the shader cache"

# Folders the user cannot write: each failed write names its file and reason,
# and the game still runs to its orderly end; the automated run whose shot
# was not written then counts as failed.
run_game "$work/run3.log" XDG_DATA_HOME="$prefix/share" XDG_CACHE_HOME="$prefix/share" -- -360 -seed 3 -steps 2 -shot x.png
rc=$?
[ $rc -eq 1 ] || fail "a game that could not write its shot exited with $rc: $(tail -5 "$work/run3.log")"
grep -qF "closed all systems" "$work/run3.log" || fail "a game that cannot write did not run to its end"
grep -qF "failed to save screenshot to '$prefix/share/Mirevast Games/Tolvane/x.png': $prefix/share/Mirevast Games: Permission denied" "$work/run3.log" ||
  fail "no reason given for the failed screenshot: $(grep -i screenshot "$work/run3.log")"
grep -qF "can't write shader cache '$prefix/share/Mirevast Games/Tolvane/cache/" "$work/run3.log" ||
  fail "no reason given for the failed shader cache"

if [ $status -ne 0 ]; then
  echo "--- first run's log:"
  cat "$work/run1.log"
fi

# The window's icon property as xprop prints it. A window gets its name
# (which the search waits for) a moment before its icon: wait up to 10 s.
window_icon() {
  for _ in $(seq 40); do
    xprop -id "$1" _NET_WM_ICON 2>/dev/null | grep -q 'Icon (' && break
    sleep 0.25
  done
  xprop -id "$1" _NET_WM_ICON
}

# ---- the launcher's Start finds the installed game ----
section launcher
if [ -n "${DISPLAY:-}" ] && command -v xdotool >/dev/null && command -v xprop >/dev/null; then
  (cd / && exec "${as_user[@]}" env -i PATH=/usr/bin:/bin HOME="$home" DISPLAY="$DISPLAY" TOLVANE_NO_MSGBOX=1 \
    SDL_VIDEODRIVER=x11 "$prefix/bin/gatewick") >"$work/launcher.log" 2>&1 &
  launcher_pid=$!
  window=$(timeout 30 xdotool search --sync --name '^Tolvane Launcher$' | head -1)
  if [ -z "$window" ]; then
    fail "the launcher's window did not appear: $(cat "$work/launcher.log")"
  else
    launcher_icon=$(window_icon "$window" | md5sum)
    sleep 0.5
    # Start, in the launcher's window.
    xdotool mousemove --window "$window" 536 440 sleep 0.2 click 1
    for _ in $(seq 120); do
      grep -qF "app path: '$prefix/lib/tolvane/'" "$work/launcher.log" && break
      sleep 0.25
    done
    grep -qF "app path: '$prefix/lib/tolvane/'" "$work/launcher.log" ||
      fail "Start did not start the installed game: $(tail -5 "$work/launcher.log")"
    game_window=$(timeout 30 xdotool search --sync --name '^Tolvane [0-9]' | head -1)
    if [ -z "$game_window" ]; then
      fail "the game's window did not appear"
    else
      game_icon=$(window_icon "$game_window" | md5sum)
      [ "$game_icon" = "$launcher_icon" ] || fail "the game's window icon differs from the launcher's"
      window_icon "$game_window" | grep -q 'Icon (128 x 128)' || fail "the game's window has no 128-pixel icon"
    fi
  fi
  kill_installed_games
  wait "$launcher_pid" 2>/dev/null
  launcher_pid=""
else
  echo "launcher check skipped: needs an X display, xdotool and xprop"
fi

# ---- the Debian package ----
section package
if command -v dpkg-deb >/dev/null; then
  (cd "$build" && cpack -G DEB -B "$work/package" >"$work/cpack.log" 2>&1) || fail "cpack: $(tail -20 "$work/cpack.log")"
  deb=$(ls "$work/package"/tolvane_*.deb 2>/dev/null | head -1)
  if [ -z "$deb" ]; then
    fail "no tolvane_*.deb made"
  else
    depends=$(dpkg-deb -f "$deb" Depends)
    for lib in libsdl2-2.0-0 libepoxy0 libopenal1 libstdc++6 libc6 libgl1; do
      [[ ", $depends," == *", $lib"[\ ,]* ]] || fail "the package does not depend on $lib: $depends"
    done
    dpkg-deb -c "$deb" | awk '{print $6, $7, $8}' | sed 's|^\./|/|' >"$work/files"
    for f in /usr/bin/tolvane /usr/bin/gatewick /usr/lib/tolvane/game /usr/lib/tolvane/gatewick \
      /usr/lib/tolvane/gameobj.so /usr/lib/tolvane/installed.txt /usr/lib/tolvane/gen/main.nut \
      /usr/share/applications/$app_id.desktop /usr/share/metainfo/$app_id.metainfo.xml \
      /usr/share/icons/hicolor/48x48/apps/$app_id.png /usr/share/icons/hicolor/256x256/apps/$app_id.png; do
      grep -q "^$f\( \|$\)" "$work/files" || fail "not in the package: $f"
    done
    grep -q "^/usr/bin/tolvane -> ../lib/tolvane/game" "$work/files" || fail "the package's tolvane is not the link"
    grep -q "gameobj_rebuild.cfg\|/cache/\|/shots/" "$work/files" && fail "build-tree files in the package"
    mkdir -p "$work/unpacked"
    dpkg-deb -x "$deb" "$work/unpacked"
    leaks=$(grep -rlF -e "$source" -e "$build" "$work/unpacked")
    [ -z "$leaks" ] || fail "build-machine paths in the package: $leaks"
    echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes; Depends: $depends"
  fi
else
  echo "package check skipped: no dpkg-deb"
fi

section done
[ $status -eq 0 ] && echo "install test passed"
exit $status
