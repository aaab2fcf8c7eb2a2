#!/usr/bin/env bash
# One frame size through clipsmith-cli: a noisy H.264 clip (4:2:0 when both sides are even,
# 4:4:4 otherwise) converted three times with every frame captured must give the same bytes
# each time, and a GIF ffprobe reads with that size. With "memcheck", the conversion of a short
# clip also runs under valgrind, with no error and the same bytes as without it.
#   sizes.sh CLI WIDTH HEIGHT [memcheck]
set -euo pipefail
cli=$1 w=$2 h=$3 mode=${4:-}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

even=$(( w % 2 == 0 && h % 2 == 0 ))
fmt=yuv444p; [ "$even" = 1 ] && fmt=yuv420p
# testsrc2 makes even sizes of 16 and more: smaller and odd sizes are cut out of a larger one.
sw=$(( w < 16 ? 16 : (w + 1) / 2 * 2 )) sh=$(( h < 16 ? 16 : (h + 1) / 2 * 2 ))
secs=1; [ "$mode" = memcheck ] && secs=0.4
ffmpeg -nostdin -v error -f lavfi -i "testsrc2=size=${sw}x${sh}:rate=25:duration=$secs" \
  -vf "format=$fmt,crop=$w:$h:0:0,noise=alls=40:allf=t" -c:v libx264 -pix_fmt "$fmt" "$dir/c.mp4"

first=""
runs=3; [ "$mode" = memcheck ] && runs=1
for i in $(seq $runs); do
  "$cli" -q --step 1 "$dir/c.mp4" "$dir/out$i.gif"
  sum=$(sha256sum < "$dir/out$i.gif")
  if [ -z "$first" ]; then first=$sum
  elif [ "$sum" != "$first" ]; then echo "run $i gave other bytes than run 1" >&2; exit 1; fi
done
got=$(ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=p=0 "$dir/out1.gif")
[ "$got" = "$w,$h" ] || { echo "ffprobe reads $got, not $w,$h" >&2; exit 1; }

if [ "$mode" = memcheck ]; then
  LD_PRELOAD=${CLIPSMITH_VALGRIND_PRELOAD:-} valgrind -q --error-exitcode=99 --errors-for-leak-kinds=none "$cli" -q --step 1 "$dir/c.mp4" "$dir/vg.gif"
  cmp "$dir/out1.gif" "$dir/vg.gif" || { echo "under valgrind the bytes differ" >&2; exit 1; }
fi
echo "${w}x${h}: same bytes on every run"
