#!/usr/bin/env bash
# GIMP with its windows on a virtual X server, reading batch commands from a pipe one
# at a time so that keys come between them: the batch calls the procedure
# interactively on a displayed picture, the filter's dialog opens over it and Enter
# applies it; one Ctrl+Z in the image window gives the original pixels back; a run
# with the last values repeats the dialog's run; Escape in the dialog leaves the layer
# as it was. With MIREL_GIMP_SHOT set, a
# screenshot of the screen with the dialog open is written there.
# Runs itself under xvfb-run when there is no display.
if [[ -z "${MIREL_GIMP_UNDER_XVFB:-}" ]]; then
  export MIREL_GIMP_UNDER_XVFB=1
  exec xvfb-run -a -s "-screen 0 1400x1000x24" "$0" "$@"
fi
. "$(dirname "$0")/gimp_test_env.sh"
out=$work/out
unset QT_QPA_PLATFORM

helpers='
(define (open-picture name) (car (gimp-file-load RUN-NONINTERACTIVE name name)))
(define (layer image) (car (gimp-image-get-active-layer image)))
(define (save image name) (gimp-file-save RUN-NONINTERACTIVE image (layer image) name name))
(define (newest) (apply max (vector->list (cadr (gimp-image-list)))))'

# The picture, as in the batch tests, and values for the procedure's parameters
# (an interactive call from Script-Fu passes them too; the dialog does not read them).
timeout 300 gimp-console-2.10 -i -d -f -b "$helpers
(let* ((image (open-picture \"$MIREL_SOURCE_DIR/examples/aitzgorri_1600.jpg\")))
  (gimp-image-scale image 320 213)
  (save image \"$out/in.png\"))" -b "(gimp-quit 0)" >"$out/prepare.log" 2>&1 ||
  fail "GIMP could not make the picture: $(tail -n 3 "$out/prepare.log")"
"$MIREL_HOST" apply "$out/in.png" -o "$out/unused.png" -q --record "$out/record.json"
values=$(record_as_scheme "$out/record.json")
call="(apply plug-in-mirel (append (list RUN-MODE (newest) (layer (newest)) \"\") mirel-values))"

# Waits up to a minute for a PNG file GIMP saves to be whole: the file appears as the
# save begins and grows a band of rows at a time, and a key pressed in the image window
# before the last band is written (the undo below) would change the rows still to come.
# A PNG file ends with its IEND chunk.
saved() {
  for _ in $(seq 120); do
    [[ -f "$1" && "$(tail -c 8 "$1" | head -c 4)" == IEND ]] && return 0
    sleep 0.5
  done
  return 1
}
# Presses KEY in the dialog WINDOW until the window is gone: on a busy machine a
# key can reach the window before it takes keys.
press_until_closed() {
  local window=$1 key=$2
  for _ in $(seq 40); do
    xdotool windowfocus --sync "$window" key "$key" >/dev/null 2>&1 || true
    sleep 0.5
    xdotool getwindowname "$window" >/dev/null 2>&1 || return 0
  done
  return 1
}

mkfifo "$out/commands"
timeout 600 gimp-2.10 -n -d -f -s -b - <"$out/commands" >"$out/gimp.log" 2>&1 &
gimp=$!
exec 3>"$out/commands"
echo "$helpers (gimp-display-new (open-picture \"$out/in.png\"))" >&3
echo "$helpers $values ${call/RUN-MODE/RUN-INTERACTIVE} (save (newest) \"$out/interactive.png\")" >&3
window=$(timeout 120 xdotool search --sync --name '^Mirel 2$' 2>/dev/null | head -n 1 || true)
if [[ -n "$window" ]]; then
  sleep 2 # the first paint of the preview
  [[ -n "${MIREL_GIMP_SHOT:-}" ]] && import -window root "$MIREL_GIMP_SHOT"
  press_until_closed "$window" Return || fail "interactive: Enter did not close the dialog"
else
  fail "the dialog did not open"
fi
saved "$out/interactive.png" || fail "interactive: nothing saved"

image_window=$(xdotool search --onlyvisible --name 'in\.png-' 2>/dev/null | head -n 1 || true)
if [[ -n "$image_window" ]]; then
  # The filter's run is the image's only undo step, so pressing again is harmless.
  for _ in 1 2 3; do
    xdotool windowfocus --sync "$image_window" key ctrl+z >/dev/null 2>&1 || true
    sleep 1
  done
else
  fail "undo: no image window"
fi
echo "$helpers (save (newest) \"$out/undone.png\")" >&3
saved "$out/undone.png" || fail "undo: nothing saved"
echo "$helpers $values ${call/RUN-MODE/RUN-WITH-LAST-VALS} (save (newest) \"$out/last.png\")" >&3
saved "$out/last.png" || fail "last values: nothing saved"
# Escape cancels the dialog: the layer stays as the last run left it.
echo "$helpers $values ${call/RUN-MODE/RUN-INTERACTIVE}" >&3
window=$(timeout 120 xdotool search --sync --name '^Mirel 2$' 2>/dev/null | head -n 1 || true)
if [[ -n "$window" ]]; then
  sleep 1
  press_until_closed "$window" Escape || fail "cancel: Escape did not close the dialog"
else
  fail "cancel: the dialog did not open"
fi
echo "$helpers (save (newest) \"$out/cancelled.png\")" >&3
saved "$out/cancelled.png" || fail "cancel: nothing saved"
echo "(gimp-quit 1)" >&3
exec 3>&-
wait "$gimp" || fail "GIMP ended with an error: $(tail -n 5 "$out/gimp.log")"

n=$(differing "$out/interactive.png" "$out/in.png")
[[ "$n" != 0 ]] || fail "interactive: the layer did not change"
n=$(differing "$out/undone.png" "$out/in.png")
[[ "$n" == 0 ]] || fail "undo: one undo step left $n pixels changed"
n=$(differing "$out/last.png" "$out/interactive.png")
[[ "$n" == 0 ]] || fail "last values: $n pixels differ from the dialog's run"

n=$(differing "$out/cancelled.png" "$out/last.png")
[[ "$n" == 0 ]] || fail "cancel: the cancelled dialog changed $n pixels"
left=$(find "$TMPDIR" -maxdepth 1 -name 'Mirel run *')
[[ -z "$left" ]] || fail "runs left their folders: $left"

((failures == 0)) || exit 1
echo "the interactive run, undo, last values and cancel in GIMP passed"
