#!/usr/bin/env bash
# A long clip through clipsmith-cli with its resident memory sampled over time: makes the clip
# with the ffmpeg command (testsrc2, H.264), converts it with each clipsmith-cli given (the same
# clip, one after the other, in this one run), prints the resident set every INTERVAL seconds,
# the peak (maximum resident set, /usr/bin/time -v), wall and CPU time and the file size, and
# checks that every program wrote the same bytes. The goal: a ten-minute 1080p clip at frame
# step 2 stays under 300 MB.
#
#   bench/long_clip.sh [clipsmith-cli ...]
#     SECONDS_LONG=600 SIZE=1920x1080 FPS=25 STEP=2 INTERVAL=5 WORK=folder (kept; the clip is
#     reused when it is there) LIMIT_MB=300
set -euo pipefail

SECONDS_LONG=${SECONDS_LONG:-600}
SIZE=${SIZE:-1920x1080}
FPS=${FPS:-25}
STEP=${STEP:-2}
INTERVAL=${INTERVAL:-5}
LIMIT_MB=${LIMIT_MB:-300}

clis=("$@")
if [[ ${#clis[@]} -eq 0 ]]; then
  root=$(cd "$(dirname "$0")/.." && pwd)
  for c in "$root"/build/src/cli/clipsmith-cli "$root"/build-*/src/cli/clipsmith-cli; do
    if [[ -x "$c" ]]; then clis=("$c"); break; fi
  done
fi
[[ ${#clis[@]} -gt 0 ]] || { echo "long_clip.sh: no clipsmith-cli found; pass its path" >&2; exit 2; }
for c in "${clis[@]}"; do [[ -x "$c" ]] || { echo "long_clip.sh: $c is not a program" >&2; exit 2; }; done
for tool in ffmpeg /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "long_clip.sh: $tool is missing" >&2; exit 2; }
done

if [[ -n "${WORK:-}" ]]; then
  mkdir -p "$WORK"
else
  WORK=$(mktemp -d -t clipsmith-long-XXXXXX)
  trap 'rm -rf "$WORK"' EXIT
fi

CLIP=$WORK/clip-${SIZE}-${FPS}fps-${SECONDS_LONG}s.mp4
if [[ ! -s "$CLIP" ]]; then
  echo "making $CLIP ..."
  ffmpeg -nostdin -y -loglevel error -f lavfi -i "testsrc2=size=${SIZE}:rate=${FPS}:duration=${SECONDS_LONG}" \
    -c:v libx264 -preset veryfast -pix_fmt yuv420p "$CLIP.part.mp4"
  mv "$CLIP.part.mp4" "$CLIP"
fi

echo "clip:    $SIZE, $FPS fps, $SECONDS_LONG s, H.264, frame step $STEP"
echo "machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg) at the start"

declare -a summary
n=0
for cli in "${clis[@]}"; do
  n=$((n + 1))
  out=$WORK/out-$n.gif
  log=$WORK/time-$n.log
  rm -f "$out"
  echo
  echo "[$n] $cli"
  /usr/bin/time -v -o "$log" "$cli" -q --step "$STEP" "$CLIP" "$out" >/dev/null 2>"$WORK/stderr-$n.log" &
  timer=$!
  started=$(date +%s.%N)
  child=""
  samples=""
  while kill -0 "$timer" 2>/dev/null; do
    [[ -n "$child" ]] || child=$(pgrep -P "$timer" | head -1 || true)
    if [[ -n "$child" && -r /proc/$child/status ]]; then
      rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$child/status" 2>/dev/null || true)
      if [[ -n "$rss" ]]; then
        t=$(awk -v a="$started" -v b="$(date +%s.%N)" 'BEGIN { printf "%.0f", b - a }')
        printf "    t=%5ss  rss %8.1f MB\n" "$t" "$(awk -v k="$rss" 'BEGIN { print k / 1024 }')"
      fi
    fi
    sleep "$INTERVAL"
  done
  if ! wait "$timer"; then
    echo "long_clip.sh: $cli failed:" >&2
    cat "$WORK/stderr-$n.log" >&2
    exit 1
  fi
  read -r wall peak cpu < <(awk -F': ' '
    /Elapsed \(wall clock\)/ { n = split($2, p, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + p[i] }
    /Maximum resident set size/ { kb = $2 }
    /User time \(seconds\)|System time \(seconds\)/ { cpu += $2 }
    END { printf "%.1f %d %.1f\n", s, kb, cpu }' "$log")
  size=$(stat -c %s "$out")
  verdict=$(awk -v k="$peak" -v l="$LIMIT_MB" 'BEGIN { print (k / 1024 <= l ? "under" : "OVER") }')
  summary+=("$(printf "[%d] peak %8.1f MB (%s %d MB)   wall %7.1f s   cpu %7.1f s   file %8.2f MB   %s" \
    "$n" "$(awk -v k="$peak" 'BEGIN { print k / 1024 }')" "$verdict" "$LIMIT_MB" "$wall" "$cpu" \
    "$(awk -v b="$size" 'BEGIN { print b / 1048576 }')" "$cli")")
  echo "    peak $(awk -v k="$peak" 'BEGIN { printf "%.1f", k / 1024 }') MB"
done

echo
echo "load average $(cut -d' ' -f1-3 /proc/loadavg) at the end"
for line in "${summary[@]}"; do echo "$line"; done
if [[ $n -gt 1 ]]; then
  same=yes
  for ((i = 2; i <= n; i++)); do cmp -s "$WORK/out-1.gif" "$WORK/out-$i.gif" || same=no; done
  echo "same bytes from every program: $same"
  [[ $same == yes ]] || exit 1
fi
