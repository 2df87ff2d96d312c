#!/usr/bin/env bash
# Whole renders through the host program on pictures made from the sample
# photograph (1, 4 and 12 megapixels) in both water styles: megapixels per
# second, the speed-up of two worker threads over one, peak memory, one
# preview render at the zoom that fits the sample into the dialog's pane, and
# the dialog's wait from a slider's release to the new preview.
# Run it through scripts/bench. BENCH_SIZES and BENCH_SPEEDUP_MP change the
# sizes; the pictures and results go to a temporary folder that is removed.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${BENCH_BUILD:-build/default}
sizes=(${BENCH_SIZES:-1 4 12})
speedup_mp=${BENCH_SPEEDUP_MP:-12}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The filter's cached settings live in the temporary folder; a folder of our
# own keeps every run at the default settings.
export TMPDIR="$work"

style_name() { [[ $1 == 1 ]] && echo Simple || echo Complex; }

# One run: prints "seconds peak_kilobytes cpu_percent".
render() {
  local picture=$1 style=$2 threads=$3
  local log="$work/time.log"
  env ${threads:+MIREL_THREADS=$threads} /usr/bin/time -v -o "$log" \
    "$build/mirel" apply "$picture" -o "$work/out.jpg" --set "water style=$style" >/dev/null
  awk -F': ' '/Elapsed \(wall clock\)/ { n = split($2, t, ":"); s = 0;
                for (i = 1; i <= n; i++) s = s * 60 + t[i]; wall = s }
              /Maximum resident set size/ { rss = $2 }
              /Percent of CPU/ { cpu = $2 + 0 }
              END { printf "%.2f %d %d\n", wall, rss, cpu }' "$log"
}

echo "== pictures"
declare -A pixels
for mp in "${sizes[@]}" "$speedup_mp"; do
  [[ -n ${pixels[$mp]:-} ]] && continue
  size=$("$build/bench/mirel_bench_picture" examples/aitzgorri_1600.jpg "$work/sample_${mp}mp.jpg" "$mp")
  pixels[$mp]=$(awk '{ print $1 * $3 }' <<<"$size")
  echo "${mp} MP: $size"
done

echo
echo "== whole renders, $(nproc) processors (default thread count); load average now: $(cut -d' ' -f1 /proc/loadavg)"
printf "%-8s %-8s %10s %10s %12s %8s\n" style size seconds "MP/s" "peak MB" "CPU %"
for style in 1 2; do
  for mp in "${sizes[@]}"; do
    read -r seconds rss cpu < <(render "$work/sample_${mp}mp.jpg" "$style" "")
    rate=$(awk -v p="${pixels[$mp]}" -v s="$seconds" 'BEGIN { printf "%.2f", p / 1e6 / (s > 0 ? s : 0.01) }')
    printf "%-8s %-8s %10s %10s %12d %8d\n" "$(style_name "$style")" "${mp} MP" "$seconds" "$rate" \
      $((rss / 1024)) "$cpu"
  done
done

echo
echo "== speed-up of 2 threads over 1 (${speedup_mp} MP)"
for style in 1 2; do
  read -r one _ cpu1 < <(render "$work/sample_${speedup_mp}mp.jpg" "$style" 1)
  read -r two _ cpu2 < <(render "$work/sample_${speedup_mp}mp.jpg" "$style" 2)
  awk -v a="$one" -v b="$two" -v c1="$cpu1" -v c2="$cpu2" -v n="$(style_name "$style")" \
    'BEGIN { printf "%-8s 1 thread %.2f s (%d%% CPU), 2 threads %.2f s (%d%% CPU): %.2fx\n",
             n, a, c1, b, c2, a / (b > 0 ? b : 0.01) }'
done

echo
echo "== one preview render at the zoom that fits the sample into 646 x 492"
"$build/bench/mirel_bench" --benchmark_filter=BM_PreviewAtFitZoom --benchmark_min_time=1 2>/dev/null |
  awk '/BM_PreviewAtFitZoom/ { printf "%-8s %s %s\n", $NF, $2, $3 }'

echo
echo "== the dialog: a slider's release to the new preview drawn (${speedup_mp} MP)"
MIREL_PLUGIN="$build/Mirel.8bf" XDG_RUNTIME_DIR="$work" \
  "$build/bench/mirel_dialog_bench" "$work/sample_${speedup_mp}mp.jpg" 5 2>/dev/null | tail -n +2
