#!/usr/bin/env bash
# clipsmith-cli beside the ffmpeg command doing the same work: every frame of a 10-second
# 640x480 25 fps H.264 clip into a GIF with a palette of its own per frame and Floyd-Steinberg
# dithering. Both run RUNS times, alternating, in the same run of this script; it prints both
# median wall times (and CPU times, telling on a loaded machine), their ratio, both peak memories (maximum resident set, /usr/bin/time -v)
# and both file sizes, and checks them against the targets: clipsmith takes at most half of
# ffmpeg's time, and its peak memory stays under the GIF frames' pixel bytes plus 100 MB.
#
#   bench/compare.sh [path/to/clipsmith-cli]     (RUNS=5 by default; WORK=folder to keep files)
set -euo pipefail

RUNS=${RUNS:-5}
CLI=${1:-}
if [[ -z "$CLI" ]]; then
  root=$(cd "$(dirname "$0")/.." && pwd)
  for c in "$root"/build/src/cli/clipsmith-cli "$root"/build-*/src/cli/clipsmith-cli; do
    if [[ -x "$c" ]]; then CLI=$c; break; fi
  done
fi
[[ -x "$CLI" ]] || { echo "compare.sh: no clipsmith-cli found; pass its path" >&2; exit 2; }
for tool in ffmpeg ffprobe /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "compare.sh: $tool is missing" >&2; exit 2; }
done

if [[ -n "${WORK:-}" ]]; then
  mkdir -p "$WORK"
else
  WORK=$(mktemp -d -t clipsmith-compare-XXXXXX)
  trap 'rm -rf "$WORK"' EXIT
fi

W=640 H=480 FPS=25 SECONDS_LONG=10
CLIP=$WORK/clip-${W}x${H}-${FPS}fps-${SECONDS_LONG}s.mp4
if [[ ! -s "$CLIP" ]]; then
  ffmpeg -nostdin -y -loglevel error -f lavfi -i "testsrc2=size=${W}x${H}:rate=${FPS}:duration=${SECONDS_LONG}" \
    -c:v libx264 -preset medium -pix_fmt yuv420p "$CLIP"
fi
FRAMES=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 "$CLIP")

FILTER='split[a][b];[a]palettegen=stats_mode=single[p];[b][p]paletteuse=new=1:dither=floyd_steinberg'

# One timed run: prints "wall-seconds peak-kilobytes cpu-seconds".
timed() {
  local log=$WORK/time.log
  /usr/bin/time -v -o "$log" "$@" >/dev/null 2>"$WORK/stderr.log" || {
    echo "compare.sh: failed: $*" >&2
    cat "$WORK/stderr.log" >&2
    exit 1
  }
  awk -F': ' '
    /Elapsed \(wall clock\)/ { n = split($2, p, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + p[i] }
    /Maximum resident set size/ { kb = $2 }
    /User time \(seconds\)|System time \(seconds\)/ { cpu += $2 }
    END { printf "%.3f %d %.3f\n", s, kb, cpu }' "$log"
}

calc() { awk "BEGIN { printf \"%.3f\", $1 }"; }

median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

: >"$WORK/cs.txt"
: >"$WORK/ff.txt"
for ((i = 1; i <= RUNS; i++)); do
  timed "$CLI" -q --step 1 "$CLIP" "$WORK/clipsmith.gif" >>"$WORK/cs.txt"
  timed ffmpeg -nostdin -y -loglevel error -i "$CLIP" -filter_complex "$FILTER" "$WORK/ffmpeg.gif" >>"$WORK/ff.txt"
done

cs_time=$(cut -d' ' -f1 "$WORK/cs.txt" | median)
ff_time=$(cut -d' ' -f1 "$WORK/ff.txt" | median)
cs_cpu=$(cut -d' ' -f3 "$WORK/cs.txt" | median)
ff_cpu=$(cut -d' ' -f3 "$WORK/ff.txt" | median)
cs_mem=$(cut -d' ' -f2 "$WORK/cs.txt" | sort -n | tail -1)
ff_mem=$(cut -d' ' -f2 "$WORK/ff.txt" | sort -n | tail -1)
cs_size=$(stat -c %s "$WORK/clipsmith.gif")
ff_size=$(stat -c %s "$WORK/ffmpeg.gif")
cs_frames=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 "$WORK/clipsmith.gif")

# The image keeps every frame's indexed pixels (one byte each) until it is written.
pixel_bytes=$((cs_frames * W * H))
mem_budget_kb=$(((pixel_bytes + 100 * 1024 * 1024) / 1024))

echo "clip:        ${W}x${H}, ${FPS} fps, ${SECONDS_LONG} s, H.264, $FRAMES frames; $RUNS runs each, alternating"
echo "machine:     $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
printf "clipsmith:   median %7.3f s (cpu %7.3f s)   peak %7.1f MB   file %8.2f MB   (%s frames)\n" \
  "$cs_time" "$cs_cpu" "$(calc "$cs_mem / 1024")" "$(calc "$cs_size / 1048576")" "$cs_frames"
printf "ffmpeg:      median %7.3f s (cpu %7.3f s)   peak %7.1f MB   file %8.2f MB\n" \
  "$ff_time" "$ff_cpu" "$(calc "$ff_mem / 1024")" "$(calc "$ff_size / 1048576")"
echo "runs (s):    clipsmith $(cut -d' ' -f1 "$WORK/cs.txt" | tr '\n' ' ')| ffmpeg $(cut -d' ' -f1 "$WORK/ff.txt" | tr '\n' ' ')"
ratio=$(calc "$cs_time / $ff_time")
printf "ratio:       clipsmith / ffmpeg = %.3f  (target <= 0.5: %s)\n" "$ratio" \
  "$(awk -v r="$ratio" 'BEGIN { print (r <= 0.5 ? "met" : "NOT met") }')"
printf "memory:      clipsmith peak %.1f MB, budget %.1f MB (%d x %d x %d indexed pixels + 100 MB): %s\n" \
  "$(calc "$cs_mem / 1024")" "$(calc "$mem_budget_kb / 1024")" "$cs_frames" "$W" "$H" \
  "$( ((cs_mem <= mem_budget_kb)) && echo met || echo NOT met)"
