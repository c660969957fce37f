#!/usr/bin/env bash
# Fails when a folder includes a header of a folder above it. The layers,
# lowest first: platform <- containers <- device, audio, world, script <- render <-
# objects, gui <- app (audio stands beside device). The launcher stands on the base and the GUI only, the
# game-object module sees only what objects/ publishes, and sqvm/ (the script
# engine) stands alone. Usage: check_layers.sh [source root]
set -u
root=${1:-$(dirname "$0")/..}
cd "$root" || exit 2

declare -A allowed=(
  [platform]="platform"
  [containers]="platform containers"
  [sqvm]="sqvm"
  [device]="platform containers device"
  [audio]="platform containers audio"
  [world]="platform containers world"
  [script]="platform containers world script sqvm"
  [render]="platform containers device world script sqvm render"
  [objects]="platform containers device audio world script sqvm render objects"
  [gui]="platform containers device world script sqvm render gui"
  [app]="platform containers device audio world script sqvm render objects gui app"
  [launcher]="platform containers gui launcher"
  [gameobj]="objects gameobj"
)

status=0
for folder in "${!allowed[@]}"; do
  [ -d "$folder" ] || continue
  while IFS= read -r hit; do
    file=${hit%%:*}
    rest=${hit#*:}
    line=${rest%%:*}
    target=$(sed -E 's/.*#include "([^/"]+)\/.*/\1/' <<<"${rest#*:}")
    case " ${allowed[$folder]} " in
      *" $target "*) ;;
      *)
        echo "$file:$line: $folder/ must not include $target/ (allowed: ${allowed[$folder]})"
        status=1
        ;;
    esac
  done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]+"[^/"]+/' "$folder" \
             --include='*.h' --include='*.cpp' --include='*.inl' --include='*.hpp' 2>/dev/null)
done

# Nothing outside the module includes it.
if grep -rnE '#[[:space:]]*include[[:space:]]+"gameobj/' --include='*.h' --include='*.cpp' \
     platform containers sqvm device audio world script render objects gui app launcher 2>/dev/null; then
  echo "only the module itself may include gameobj/"
  status=1
fi

[ $status -eq 0 ] && echo "layers point one way"
exit $status
