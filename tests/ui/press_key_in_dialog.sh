#!/bin/sh
# Runs a command on the X display that xvfb-run started, waits for the
# filter's dialog window ("Mirel 2"), presses KEY in it as a person would and
# exits with the command's exit code. Usage: press_key_in_dialog.sh KEY COMMAND...
# On a busy machine a key can reach the window before it takes keys, so the key
# is pressed again until the window is gone.
key=$1
shift
"$@" &
program=$!
window=$(timeout 60 xdotool search --sync --name '^Mirel 2$' 2>/dev/null | head -n 1)
if [ -n "$window" ]; then
  tries=0
  while [ "$tries" -lt 40 ] && xdotool getwindowname "$window" >/dev/null 2>&1; do
    xdotool windowfocus --sync "$window" >/dev/null 2>&1
    xdotool key "$key" >/dev/null 2>&1
    sleep 0.5
    tries=$((tries + 1))
  done
else
  kill "$program"
fi
wait "$program"
