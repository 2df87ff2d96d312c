#!/usr/bin/env bash
# Drives real GIMP in batch mode (gimp-console-2.10, no display) through Script-Fu
# over the plug-in of this build: the procedure's non-interactive runs against the
# host program's on the same pictures and settings, selections, transparency, 16-bit,
# float and grey layers, and a settings file that cannot be read.
. "$(dirname "$0")/gimp_test_env.sh"
out=$work/out

# The settings: a few changed, and the whole record of a host-program run, so that
# GIMP gets all the scripting parameters and the host program the very same.
"$MIREL_HOST" apply "$MIREL_SOURCE_DIR/examples/aitzgorri_1600.jpg" -o "$out/unused.png" -q \
  --set horizon=42 --set glue=screen --set waviness=63.5 --set seed=7 --record "$out/record.json"
mapfile -t sets < <(record_as_sets "$out/record.json" | tr ' ' '\n')
record_as_scheme "$out/record.json" >"$out/values.scm"
[[ $(record_as_sets "$out/record.json" | wc -l) == 37 ]] || fail "the record holds no 37 parameters"

# Every batch command starts afresh: each one gets the helpers.
helpers=$(cat <<SCHEME
$(cat "$out/values.scm")
(define (mirel image drawable file)
  (apply plug-in-mirel (append (list RUN-NONINTERACTIVE image drawable file) mirel-values)))
(define (open-picture name) (car (gimp-file-load RUN-NONINTERACTIVE name name)))
(define (layer image) (car (gimp-image-get-active-layer image)))
(define (save image name)
  (gimp-file-save RUN-NONINTERACTIVE image (layer image) name name))
(define (run-and-save image name) (mirel image (layer image) "") (save image name))
SCHEME
)
cat >"$out/cases.scm" <<SCHEME
(define (picture)
  (let* ((image (open-picture "$MIREL_SOURCE_DIR/examples/aitzgorri_1600.jpg")))
    (gimp-image-scale image 320 213)
    image))
; the input of every case, as the host program reads it too
(save (picture) "$out/rgb-in.png")
(run-and-save (open-picture "$out/rgb-in.png") "$out/rgb-gimp.png")
; a rectangular selection; the outside is compared after blacking out the inside
(let* ((image (open-picture "$out/rgb-in.png")) (original (open-picture "$out/rgb-in.png")))
  (gimp-image-select-rectangle image CHANNEL-OP-REPLACE 40 100 200 90)
  (mirel image (layer image) "")
  (save image "$out/sel-gimp.png")
  (gimp-context-set-foreground '(0 0 0))
  (gimp-drawable-edit-fill (layer image) FILL-FOREGROUND)
  (save image "$out/sel-outside-gimp.png")
  (gimp-image-select-rectangle original CHANNEL-OP-REPLACE 40 100 200 90)
  (gimp-drawable-edit-fill (layer original) FILL-FOREGROUND)
  (save original "$out/sel-outside-in.png"))
; the same selection as a mask file for the host program
(let* ((mask (car (gimp-image-new 320 213 GRAY)))
       (layer (car (gimp-layer-new mask 320 213 GRAY-IMAGE "mask" 100 LAYER-MODE-NORMAL))))
  (gimp-image-insert-layer mask layer 0 0)
  (gimp-context-set-foreground '(0 0 0))
  (gimp-drawable-edit-fill layer FILL-FOREGROUND)
  (gimp-image-select-rectangle mask CHANNEL-OP-REPLACE 40 100 200 90)
  (gimp-context-set-foreground '(255 255 255))
  (gimp-drawable-edit-fill layer FILL-FOREGROUND)
  (gimp-selection-none mask)
  (save mask "$out/sel-mask.png"))
; a layer with alpha: a transparent band at the top and a half-transparent one below
; it, saved and opened again so that GIMP and the host program start from the same
; pixels (the file keeps no colour under full transparency)
(let* ((image (open-picture "$out/rgb-in.png")))
  (gimp-layer-add-alpha (layer image))
  (gimp-image-select-rectangle image CHANNEL-OP-REPLACE 0 0 320 30)
  (gimp-drawable-edit-clear (layer image))
  (gimp-image-select-rectangle image CHANNEL-OP-REPLACE 0 30 320 30)
  (gimp-drawable-curves-spline (layer image) HISTOGRAM-ALPHA 4 #(0 0 1 0.5))
  (gimp-selection-none image)
  (save image "$out/alpha-in.png"))
(run-and-save (open-picture "$out/alpha-in.png") "$out/alpha-gimp.png")
; the same layer with its alpha channel locked
(let* ((image (open-picture "$out/alpha-in.png")))
  (gimp-layer-set-lock-alpha (layer image) TRUE)
  (run-and-save image "$out/locked-gimp.png"))
; 16-bit and float layers, and grey
(let* ((image (open-picture "$out/rgb-in.png")))
  (gimp-image-convert-precision image PRECISION-U16-GAMMA)
  (save image "$out/u16-in.png")
  (run-and-save image "$out/u16-gimp.png"))
(let* ((image (open-picture "$out/rgb-in.png")))
  (gimp-image-convert-precision image PRECISION-FLOAT-GAMMA)
  (save image "$out/float-in.tif")
  (run-and-save image "$out/float-gimp.tif"))
(let* ((image (open-picture "$out/rgb-in.png")))
  (gimp-image-convert-grayscale image)
  (save image "$out/grey-in.png")
  (run-and-save image "$out/grey-gimp.png"))
(save (open-picture "$out/rgb-in.png") "$out/bad-in.png")
SCHEME

# A settings file that cannot be read: the call fails with a clear message, and the
# layer is saved afterwards as the run left it.
# A settings file that cannot be read: the call fails with a clear message (and ends
# its batch command), and the next command saves the layer as the failed run left it.
# The image opened last is the one with the highest id.
bad="(let* ((image (open-picture \"$out/bad-in.png\")))
  (mirel image (layer image) \"$out/no-such-settings.q8r\"))"
out_of_range="(define (with-nth values n value)
  (if (= n 0) (cons value (cdr values)) (cons (car values) (with-nth (cdr values) (- n 1) value))))
(let* ((image (open-picture \"$out/bad-in.png\")))
  (apply plug-in-mirel (append (list RUN-NONINTERACTIVE image (layer image) \"\")
                               (with-nth mirel-values 18 150.0))))"
after_bad="(save (apply max (vector->list (cadr (gimp-image-list)))) \"$out/bad-gimp.png\")"

# The folder of a run whose process ended without removing it (GIMP kills a plug-in
# whose run the user cancels), and the folder of a process that still runs.
sh -c 'exit 0' &
ended=$!
wait "$ended"
mkdir -p "$TMPDIR/Mirel run $ended abcdef" "$TMPDIR/Mirel run $$ abcdef"
touch "$TMPDIR/Mirel run $ended abcdef/Mirel cached settings D"

timeout 600 gimp-console-2.10 -i -d -f \
  -b "$helpers $(cat "$out/cases.scm")" -b "$helpers $bad" -b "$helpers $after_bad" \
  -b "$helpers $out_of_range" -b "(gimp-quit 0)" \
  >"$out/gimp.log" 2>&1 || fail "GIMP ended with an error: $(tail -n 5 "$out/gimp.log")"
cat "$out/gimp.log"

# Every run removed its own folder, failed or not, and the first one the ended run's.
[[ ! -e "$TMPDIR/Mirel run $ended abcdef" ]] || fail "the folder of an ended run is still there"
[[ -d "$TMPDIR/Mirel run $$ abcdef" ]] || fail "the folder of a running process was removed"
rmdir "$TMPDIR/Mirel run $$ abcdef"
left=$(find "$TMPDIR" -maxdepth 1 -name 'Mirel run *')
[[ -z "$left" ]] || fail "runs left their folders: $left"

# The host program over the same inputs with the same settings.
for case in rgb alpha u16 grey; do
  "$MIREL_HOST" apply "$out/$case-in.png" -o "$out/$case-host.png" -q "${sets[@]}" ||
    fail "$case: the host program failed"
  [[ -f "$out/$case-gimp.png" ]] || { fail "$case: GIMP wrote nothing"; continue; }
  n=$(differing "$out/$case-gimp.png" "$out/$case-host.png")
  [[ "$n" == 0 ]] || fail "$case: $n pixels differ from the host program's"
  n=$(differing "$out/$case-gimp.png" "$out/$case-in.png")
  [[ "$n" != 0 ]] || fail "$case: the layer did not change"
done
"$MIREL_HOST" apply "$out/alpha-in.png" -o "$out/locked-host.png" -q --preserve-transparency \
  "${sets[@]}" || fail "locked alpha: the host program failed"
n=$(differing "$out/locked-gimp.png" "$out/locked-host.png")
[[ "$n" == 0 ]] || fail "locked alpha: $n pixels differ from the host program's"
n=$(differing -channel alpha "$out/locked-gimp.png" "$out/alpha-in.png")
[[ "$n" == 0 ]] || fail "locked alpha: the alpha changed in $n pixels"
"$MIREL_HOST" apply "$out/float-in.tif" -o "$out/float-host.tif" -q "${sets[@]}" ||
  fail "float: the host program failed"
n=$(differing "$out/float-gimp.tif" "$out/float-host.tif")
[[ "$n" == 0 ]] || fail "float: $n pixels differ from the host program's"
[[ $(identify -format '%z' "$out/u16-gimp.png" 2>/dev/null) == 16 ]] || fail "u16: not saved at 16 bits"
[[ $(identify -format '%z' "$out/float-gimp.tif" 2>/dev/null) == 32 ]] || fail "float: not saved at 32 bits"

# The selection: outside it nothing moved, inside it the water came.
n=$(differing "$out/sel-outside-gimp.png" "$out/sel-outside-in.png")
[[ "$n" == 0 ]] || fail "selection: $n pixels outside the selection changed"
n=$(differing "$out/sel-gimp.png" "$out/rgb-in.png")
[[ "$n" != 0 ]] || fail "selection: nothing changed inside the selection"
"$MIREL_HOST" apply "$out/rgb-in.png" --mask "$out/sel-mask.png" -o "$out/sel-host.png" -q \
  "${sets[@]}" || fail "selection: the host program failed"
n=$(differing "$out/sel-gimp.png" "$out/sel-host.png")
[[ "$n" == 0 ]] || fail "selection: $n pixels differ from the host program's with the mask"

# Transparency above the horizon (at 42 %, the top 89 rows) is kept: the clear band
# exactly, the half-transparent one within a level (the filter rounds it so).
n=$(differing -channel alpha "$out/alpha-gimp.png[320x30+0+0]" "$out/alpha-in.png[320x30+0+0]")
[[ "$n" == 0 ]] || fail "alpha: $n transparent pixels above the horizon changed their alpha"
n=$(differing -channel alpha -fuzz 0.5% "$out/alpha-gimp.png[320x85+0+0]" \
  "$out/alpha-in.png[320x85+0+0]")
[[ "$n" == 0 ]] || fail "alpha: the transparency above the horizon changed in $n pixels"

# The unreadable settings file.
grep -q "no-such-settings.q8r" "$out/gimp.log" || fail "bad settings: no message names the file"
grep -q "horizon-float: 150 is outside 0..100" "$out/gimp.log" ||
  fail "a value out of range: no message names the parameter and its range"
n=$(differing "$out/bad-gimp.png" "$out/bad-in.png")
[[ "$n" == 0 ]] || fail "bad settings: the layer changed in $n pixels"

((failures == 0)) || exit 1
echo "all GIMP batch cases passed"
