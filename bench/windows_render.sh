#!/usr/bin/env bash
# Whole renders of the bench picture (12 megapixels made from the sample) by the
# Linux program and by the Windows program under Wine, in turn run by run, in both
# water styles: wall and CPU seconds of each run and the Windows/Linux ratio of the
# medians. Both builds must exist (cmake --build --preset default, and windows).
# BENCH_RUNS (3) and BENCH_MP (12) change the runs and the size; BENCH_THREADS sets
# MIREL_THREADS for both.
set -euo pipefail
cd "$(dirname "$0")/.."

linux=${BENCH_BUILD:-build/default}
windows=${BENCH_WINDOWS_BUILD:-build/windows}
runs=${BENCH_RUNS:-3}
mp=${BENCH_MP:-12}
wine=/usr/lib/wine/wine64
export WINEPREFIX="$PWD/$windows/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='
work=$(mktemp -d)
trap 'rm -rf "$work"; /usr/lib/wine/wineserver -k 2>/dev/null || true' EXIT
# The filter's cached settings live in the temporary folder; a folder of our own keeps
# every run at the defaults (Wine takes its temporary folder from its prefix).
export TMPDIR="$work"
[[ -n ${BENCH_THREADS:-} ]] && export MIREL_THREADS=$BENCH_THREADS

"$linux/bench/mirel_bench_picture" examples/aitzgorri_1600.jpg "$work/in.png" "$mp" >/dev/null
# The Wine server stays up between runs, as it does for a user's session; it and
# Wine's helper processes must not inherit this script's output (a reader of it
# would wait for them).
/usr/lib/wine/wineserver -p 300 </dev/null >/dev/null 2>&1
"$wine" "$windows/mirel.exe" --version >"$work/warm.log" 2>&1 </dev/null

timed() {  # prints "wall cpu" of one run of the command
  /usr/bin/time -f "%e %U %S" -o "$work/time" "$@" >"$work/run.log" 2>&1 </dev/null
  awk '{ printf "%.2f %.2f\n", $1, $2 + $3 }' "$work/time"
}
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

echo "== ${mp} MP, $(nproc) processors, ${runs} runs each, in turn; load average now: $(cut -d' ' -f1 /proc/loadavg)"
printf "%-8s %-8s %12s %12s\n" style program "wall s" "cpu s"
for style in simple complex; do
  : >"$work/linux" && : >"$work/windows"
  for ((i = 0; i < runs; ++i)); do
    read -r wall cpu < <(timed "$linux/mirel" apply "$work/in.png" -o "$work/l.png" --quiet \
      --set "style=$style")
    echo "$wall" >>"$work/linux"
    printf "%-8s %-8s %12s %12s\n" "$style" Linux "$wall" "$cpu"
    read -r wall cpu < <(timed "$wine" "$windows/mirel.exe" apply "$work/in.png" -o "$work/w.png" \
      --quiet --set "style=$style")
    echo "$wall" >>"$work/windows"
    printf "%-8s %-8s %12s %12s\n" "$style" Wine "$wall" "$cpu"
  done
  cmp -s "$work/l.png" "$work/w.png" && same="the same bytes" || same="OTHER BYTES"
  awk -v l="$(median <"$work/linux")" -v w="$(median <"$work/windows")" -v s="$style" -v same="$same" \
    'BEGIN { printf "%s: median wall Linux %.2f s, Wine %.2f s, ratio %.2f; outputs: %s\n", s, l, w, w / l, same }'
done
