#!/usr/bin/env bash
# The bytes clipsmith-cli writes for a fixed set of clips and options, as one sha256 per line.
# The conversion is deterministic, so any change to the engine that is meant to keep the
# output must leave this list unchanged:
#
#   bench/cli_digests.sh [path/to/clipsmith-cli] | diff bench/cli_digests.txt -
#
# The clips are made with the ffmpeg command (single-threaded, so its encoders give the same
# files on every machine running the same FFmpeg); WORK=folder keeps them between runs.
set -euo pipefail

CLI=${1:-}
if [[ -z "$CLI" ]]; then
  root=$(cd "$(dirname "$0")/.." && pwd)
  CLI=$root/build/src/cli/clipsmith-cli
fi
[[ -x "$CLI" ]] || { echo "cli_digests.sh: no clipsmith-cli at $CLI; pass its path" >&2; exit 2; }
command -v ffmpeg >/dev/null || { echo "cli_digests.sh: ffmpeg is missing" >&2; exit 2; }

if [[ -n "${WORK:-}" ]]; then
  mkdir -p "$WORK"
else
  WORK=$(mktemp -d -t clipsmith-digests-XXXXXX)
  trap 'rm -rf "$WORK"' EXIT
fi

clip() {  # name, lavfi source, encoder arguments...
  local name=$1 src=$2; shift 2
  [[ -s "$WORK/$name" ]] && return
  ffmpeg -nostdin -y -loglevel error -threads 1 -f lavfi -i "$src" -threads 1 "$@" "$WORK/$name.tmp.${name##*.}"
  mv "$WORK/$name.tmp.${name##*.}" "$WORK/$name"
}

clip small.avi "testsrc2=size=64x48:rate=25:duration=2" -c:v ffv1 -pix_fmt bgr0
clip odd.mkv "testsrc=size=97x61:rate=30:duration=1.5" -c:v ffv1 -pix_fmt yuv420p
clip medium.mp4 "testsrc2=size=320x240:rate=25:duration=2" -c:v libx264 -preset veryfast -pix_fmt yuv420p
clip mpeg4.avi "mandelbrot=size=160x120:rate=15" -t 2 -c:v mpeg4 -q:v 4
clip wide.webm "smptebars=size=256x144:rate=24:duration=1.5" -c:v libvpx -b:v 200k

run() {  # label, input, options...
  local label=$1 input=$2; shift 2
  local out="$WORK/out-$label.gif"
  rm -f "$out"
  if ! "$CLI" -q "$@" -- "$WORK/$input" "$out" >/dev/null 2>"$WORK/err-$label.txt"; then
    echo "$label FAILED: $(head -c 300 "$WORK/err-$label.txt")"
    return
  fi
  echo "$label $(sha256sum <"$out" | cut -d' ' -f1)"
}

run small-default small.avi
run small-step0 small.avi --step 0
run small-step1 small.avi --step 1
run small-step3 small.avi --step 3
run small-range small.avi --start 0.4 --end 1.2 --step 1
run small-crop small.avi --crop 8,4,40,30
run small-crop-size small.avi --crop 8,4,40,30 --size 20x15 --step 1
run small-crop-edge small.avi --crop 50,40,30,20 --step 2
run small-loop-delay small.avi --loop 3 --delay 40
run small-loop1 small.avi --loop 1 --delay 0 --step 3
run odd-default odd.mkv
run odd-size-w odd.mkv --size 50x --step 1
run odd-size-h odd.mkv --size x100 --step 3
run medium-default medium.mp4 --end 1
run medium-size medium.mp4 --size 80x60 --step 1 --start 00:00.5 --end 00:01.5
run medium-crop medium.mp4 --crop 100,50,120,90 --step 3 --loop 2 --delay 70
run mpeg4-step2 mpeg4.avi --start 0.3 --end 1.7
run mpeg4-size mpeg4.avi --size 61x47 --step 1 --delay 250
run wide-default wide.webm --step 1
run wide-crop-size wide.webm --crop 0,0,128,72 --size 256x144 --step 2 --loop 0
