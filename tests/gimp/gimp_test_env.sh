# Sourced by the GIMP tests: a GIMP of the test's own in a scratch folder (home,
# configuration, temporary folder), whose plug-in path holds only the plug-ins the
# tests use and the plug-in of this build, so the user's GIMP is never touched.
# Needs: MIREL_GIMP_PLUGINS (the build's gimp-plug-ins folder), MIREL_GIMP_SYSTEM
# (GIMP's own plug-ins folder), MIREL_SCRATCH.
set -euo pipefail
mkdir -p "$MIREL_SCRATCH"
work=$(mktemp -d "$MIREL_SCRATCH/gimp.XXXXXX")
trap '[[ ${failures:-0} == 0 && -z ${MIREL_KEEP_SCRATCH:-} ]] && rm -rf "$work"' EXIT
mkdir -p "$work/home" "$work/tmp" "$work/plug-ins" "$work/out"
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config TMPDIR=$work/tmp
export GIMP2_DIRECTORY=$work/gimp
mkdir -p "$GIMP2_DIRECTORY"/{brushes,dynamics,fonts,gradients,palettes,patterns,scripts,tool-presets}
for plugin in script-fu file-png file-tiff file-jpeg; do
  ln -s "$MIREL_GIMP_SYSTEM/$plugin" "$work/plug-ins/$plugin"
done
ln -s "$MIREL_GIMP_PLUGINS/gimp-mirel" "$work/plug-ins/gimp-mirel"
echo "(plug-in-path \"$work/plug-ins\")" >"$GIMP2_DIRECTORY/gimprc"
unset MIREL_PLUGIN  # the plug-in finds the filter beside itself

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
failures=0

# The number of pixels that differ between two pictures (every channel).
differing() {
  compare -metric AE "$@" null: 2>&1 | sed -n '1s/^\([0-9.e+]*\).*/\1/p' || true
}

# The JSON record of a host-program run as NAME=VALUE settings for the host program
# (--set KEY=VALUE ...) and as the procedure's values in Script-Fu.
record_as_sets() {
  python3 -c '
import json, sys
for item in json.load(open(sys.argv[1]))["descriptor"]:
    if "name" not in item: continue
    value = item.get("value name", item["value"])
    print("--set", "%s=%s" % (item["key"], value))' "$1"
}
record_as_scheme() {
  python3 -c '
import json, sys
values = []
for item in json.load(open(sys.argv[1]))["descriptor"]:
    if "name" not in item: continue
    if "value name" in item: values.append("\"%s\"" % item["value name"])
    elif item["type"] == "doub": values.append(repr(float(item["value"])))
    else: values.append(str(item["value"]))
print("(define mirel-values (list %s))" % " ".join(values))' "$1"
}
