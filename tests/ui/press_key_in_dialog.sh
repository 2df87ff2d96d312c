#!/bin/sh
# Runs a command on the X display that xvfb-run started, waits for the
# filter's dialog window ("Mirel 2"), presses KEY in it as a person would and
# exits with the command's exit code. Usage: press_key_in_dialog.sh KEY COMMAND...
key=$1
shift
"$@" &
program=$!
window=$(timeout 60 xdotool search --sync --name '^Mirel 2$' 2>/dev/null | head -n 1)
if [ -n "$window" ]; then
  xdotool windowfocus --sync "$window" >/dev/null 2>&1
  xdotool key "$key" >/dev/null 2>&1
else
  kill "$program"
fi
wait "$program"
