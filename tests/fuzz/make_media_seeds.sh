#!/usr/bin/env bash
# Writes the seed corpus of media_open_fuzzer into tests/fuzz/media_corpus: tiny clips (16x16,
# a few frames) in the containers and codecs users have, a turned one, and cut copies.
set -euo pipefail
out=$(cd "$(dirname "$0")" && pwd)/media_corpus
mkdir -p "$out"
cd "$out"
src="-f lavfi -i testsrc2=size=16x16:rate=5:duration=0.6"
ff() { ffmpeg -nostdin -v error -y -threads 1 "$@"; }
ff $src -c:v libx264 -pix_fmt yuv420p -bf 1 h264.mp4
ff $src -c:v libx264 -pix_fmt yuv420p -movflags +faststart h264_faststart.mp4
ff $src -c:v mpeg4 mpeg4.avi
ff $src -c:v mjpeg mjpeg.avi
ff $src -c:v rawvideo -pix_fmt yuv420p raw.avi
ff $src -c:v ffv1 ffv1.mkv
ff $src -c:v libvpx-vp9 -deadline realtime vp9.webm
ff $src gif.gif
ff $src -c:v mpeg2video mpeg2.ts
ff $src -c:v flv1 flv.flv
ff -i h264.mp4 -c copy -metadata:s:v:0 rotate=90 turned.mov
for f in h264.mp4 mjpeg.avi ffv1.mkv; do head -c $(( $(stat -c %s $f) / 2 )) $f > "half_$f"; done
ls -l "$out" | awk '{s+=$5} END {print s " bytes"}'
