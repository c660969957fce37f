#!/bin/sh
# Balance runs: plays seeds 1-10 headless, idle in world 1 and with the bot
# in worlds 1 and 3, and prints one table from the balance lines of the log
# (each ends with "at step N"). Usage, from the repository root:
#   bench/balance/balance.sh [GAME] [FIRST_SEED] [LAST_SEED]
# GAME defaults to build/bin/game. IDLE_STEPS and BOT_STEPS cap the runs
# (20 steps a second; defaults 5 and 10 minutes of game time). Runs go one
# after another: the machine is shared.
set -u
game=${1:-build/bin/game}
first=${2:-1}
last=${3:-10}
idle_steps=${IDLE_STEPS:-6000}
bot_steps=${BOT_STEPS:-12000}
logs=${BALANCE_LOGS:-$(mktemp -d)}

# Headless where the game offers it; otherwise a small low-quality window
# (a display is needed) on the run's own clock, 200 steps a frame. The idle
# player is then a replay of a record with no input.
if "$game" -help | grep -q -- -headless; then mode="-headless"; else mode="-360 -gfx-low -frame-steps 200"; fi

run() {  # seed world bot|idle steps -> log file name
  log="$logs/seed$1-w$2-$3.log"
  if [ "$3" = bot ]; then
    TOLVANE_NO_MSGBOX=1 "$game" $mode -seed "$1" -world "$2" -steps "$4" -bot >"$log" 2>&1
  elif [ "$mode" = "-headless" ]; then
    TOLVANE_NO_MSGBOX=1 "$game" $mode -seed "$1" -world "$2" -steps "$4" >"$log" 2>&1
  else
    rec="$logs/idle$1-w$2.txt"
    { printf 'tolvane-input 1\nseed %s\ndev 0\nmana_cheat 0\nworld %s\nsteps\n' "$1" "$2"
      yes 's 0 -0.52 0 320 180 1 0 -' | head -n "$4"; } >"$rec"
    TOLVANE_NO_MSGBOX=1 "$game" $mode -replay "$rec" >"$log" 2>&1
  fi
  echo "$log"
}

# Seconds from the first world's start to the first line matching $2, or "-".
first_at() {
  awk -v pat="$2" '
    /world [0-9]+ begins at step/ && start == "" { start = $NF }
    $0 ~ pat && found == "" { found = $NF }
    END { if (found == "" || start == "") print "-"; else printf "%.0f", (found - start) / 20 }' "$1"
}
# Lines matching $2 before the first matching $3 (the run's own world only).
count() { awk -v pat="$2" -v stop="$3" '$0 ~ stop { exit } $0 ~ pat { n++ } END { print n + 0 }' "$1"; }

printf '%-4s | %-10s %-10s | %-28s %-5s %-5s %-6s | %-28s %-5s %-5s %-6s\n' seed "idle burn" "idle fall" \
  "bot w1: L1 L2 L3 portal (s)" falls lost "c.fall" "bot w3: L1 L2 L3 portal (s)" falls lost "c.fall"
for seed in $(seq "$first" "$last"); do
  idle=$(run "$seed" 1 idle "$idle_steps")
  burn=$(first_at "$idle" "sets fire to the mana gatherer")
  fall=$(first_at "$idle" "castle of world [0-9]* has fallen at step")
  [ "$fall" = "-" ] && fall=">$((idle_steps / 20))"
  line=""
  for world in 1 3; do
    log=$(run "$seed" "$world" bot "$bot_steps")
    l1=$(first_at "$log" "castle level 1 reached")
    l2=$(first_at "$log" "castle level 2 reached")
    l3=$(first_at "$log" "castle level 3 reached")
    next="world $((world + 1)) begins at step"
    portal=$(first_at "$log" "$next")
    line="$line$(printf '| %-5s %-5s %-5s %-11s %-5s %-5s %-6s ' "$l1" "$l2" "$l3" "$portal" \
      "$(count "$log" "the player has fallen" "$next")" "$(count "$log" "mana gatherer burned down" "$next")" \
      "$(count "$log" "castle of world [0-9]* has fallen" "$next")")"
  done
  printf '%-4s | %-10s %-10s %s\n' "$seed" "$burn" "$fall" "$line"
done
echo "logs in $logs"
