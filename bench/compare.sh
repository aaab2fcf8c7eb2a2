#!/usr/bin/env bash
# clipsmith-cli beside the ffmpeg command doing the same work: every frame of a 10-second
# 640x480 25 fps H.264 clip into a GIF with a palette of its own per frame and Floyd-Steinberg
# dithering. Both run RUNS times, alternating, in the same run of this script; it prints both
# median wall times (and CPU times, telling on a loaded machine), their ratio, both peak memories (maximum resident set, /usr/bin/time -v)
# and both file sizes, and checks them against the targets: clipsmith takes at most a tenth of
# ffmpeg's time, and its peak memory stays under the GIF frames' pixel bytes plus 100 MB.
# clipsmith's runs also write their stage times (CLIPSMITH_STAGE_TIMES): the script prints the
# table of the median run (CPU per frame of decode, pixel conversion, crop and scale, octree,
# dithering, LZW, write and the rest), the share of wall time the cores are busy ((user + sys) /
# wall / cores), and checks that the wall time is at most 1.3 x the sum of the stage costs
# divided by the cores: the stages overlap on all cores.
#
#   bench/compare.sh [path/to/clipsmith-cli] [path/to/another/clipsmith-cli]
#     RUNS=5 by default; WORK=folder to keep files. A second program (a build before a change,
#     say) runs alternating with the others, and its figures are printed beside the first's.
#     Stage times of a program built without them come out empty.
set -euo pipefail

RUNS=${RUNS:-5}
CLI=${1:-}
BEFORE=${2:-}
CORES=$(nproc)
if [[ -z "$CLI" ]]; then
  root=$(cd "$(dirname "$0")/.." && pwd)
  for c in "$root"/build/src/cli/clipsmith-cli "$root"/build-*/src/cli/clipsmith-cli; do
    if [[ -x "$c" ]]; then CLI=$c; break; fi
  done
fi
[[ -x "$CLI" ]] || { echo "compare.sh: no clipsmith-cli found; pass its path" >&2; exit 2; }
[[ -z "$BEFORE" || -x "$BEFORE" ]] || { echo "compare.sh: $BEFORE is not a program" >&2; exit 2; }
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
: >"$WORK/before.txt"
for ((i = 1; i <= RUNS; i++)); do
  CLIPSMITH_STAGE_TIMES=$WORK/stages-$i.txt timed "$CLI" -q --step 1 "$CLIP" "$WORK/clipsmith.gif" >>"$WORK/cs.txt"
  timed ffmpeg -nostdin -y -loglevel error -i "$CLIP" -filter_complex "$FILTER" "$WORK/ffmpeg.gif" >>"$WORK/ff.txt"
  if [[ -n "$BEFORE" ]]; then
    CLIPSMITH_STAGE_TIMES=$WORK/before-stages-$i.txt timed "$BEFORE" -q --step 1 "$CLIP" "$WORK/before.gif" >>"$WORK/before.txt"
  fi
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
printf "ratio:       clipsmith / ffmpeg = %.3f  (target <= 0.10: %s)\n" "$ratio" \
  "$(awk -v r="$ratio" 'BEGIN { print (r <= 0.10 ? "met" : "NOT met") }')"
if [[ -n "$BEFORE" ]]; then
  b_time=$(cut -d' ' -f1 "$WORK/before.txt" | median)
  b_cpu=$(cut -d' ' -f3 "$WORK/before.txt" | median)
  printf "before:      median %7.3f s (cpu %7.3f s), ratio to ffmpeg %.3f; runs (s): %s\n" "$b_time" "$b_cpu" \
    "$(calc "$b_time / $ff_time")" "$(cut -d' ' -f1 "$WORK/before.txt" | tr '\n' ' ')"
  cmp -s "$WORK/clipsmith.gif" "$WORK/before.gif" && echo "bytes:       both programs wrote the same file" ||
    echo "bytes:       the two programs wrote DIFFERENT files"
fi

# The stage table of the run whose wall time is the median (the middle one by wall time).
median_run() {  # times file -> run number
  awk '{ print $1, NR }' "$1" | sort -g | awk '{ r[NR] = $2 } END { print r[int((NR + 1) / 2)] }'
}
# busy share: CPU over wall over cores, for a "wall kb cpu" line.
busy() { awk -v c="$CORES" '{ printf "%.3f", ($1 > 0 ? $3 / $1 / c : 0) }'; }
stage_report() {  # label, times file, stage file prefix
  local label=$1 times=$2 prefix=$3
  local run; run=$(median_run "$times")
  local line; line=$(sed -n "${run}p" "$times")
  local table=$WORK/$prefix-$run.txt
  echo
  echo "$label, run $run (the median wall time), busy share $(busy <<<"$line") of $CORES cores ((user + sys) / wall / cores):"
  if [[ ! -s "$table" ]]; then
    echo "  (no stage times: a program built without them)"
    return
  fi
  sed 's/^/  /' "$table"
  # The stages overlapped on every core take at most their CPU sum over the cores; the wall time
  # may exceed that by 30 % for what cannot overlap (start, the last frames, the file).
  # The decoder's own threads are no stage of ours but a cost all the same: the CPU no stage
  # counts is added to the stages' sum.
  local sum; sum=$(awk '$1 == "sum" || /^not in a stage/ { s += $NF } END { print s }' "$table")
  local frames; frames=$(awk '$1 == "frames" { print $2 }' "$table")
  local wall; wall=$(awk '{ print $1 }' <<<"$line")
  local bound; bound=$(calc "1.3 * $sum * $frames / 1000 / $CORES")
  printf "  check: wall %.3f s <= 1.3 x (stage costs with the rest %.3f ms/frame x %d frames / %d cores) = %.3f s: %s\n" \
    "$wall" "$sum" "$frames" "$CORES" "$bound" "$(awk -v w="$wall" -v b="$bound" 'BEGIN { print (w <= b ? "met" : "NOT met") }')"
}
stage_report "clipsmith stages" "$WORK/cs.txt" stages
[[ -n "$BEFORE" ]] && stage_report "before stages" "$WORK/before.txt" before-stages
echo
printf "memory:      clipsmith peak %.1f MB, budget %.1f MB (%d x %d x %d indexed pixels + 100 MB): %s\n" \
  "$(calc "$cs_mem / 1024")" "$(calc "$mem_budget_kb / 1024")" "$cs_frames" "$W" "$H" \
  "$( ((cs_mem <= mem_budget_kb)) && echo met || echo NOT met)"
