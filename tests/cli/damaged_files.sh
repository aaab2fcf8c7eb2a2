#!/usr/bin/env bash
# Makes the damaged inputs of the hostile-input checks into DIR and prints their names, one per
# line: files cut short at several points, a damaged sample table, bytes flipped at seeded random
# places, and names that are no regular file. The same files on every machine: every damage is
# made from fixed offsets or a fixed seed.
#   damaged_files.sh DIR [FLIPS]
set -euo pipefail
dir=$1 flips=${2:-12}
mkdir -p "$dir"
cd "$dir"
ff() { ffmpeg -nostdin -v error -y "$@"; }

# The sources: raw AVI (every frame its own chunk), H.264 in an MP4 with its index first and at
# the end, MJPEG in Matroska.
ff -f lavfi -i testsrc2=size=320x240:rate=25 -t 2 -c:v rawvideo -pix_fmt yuv420p raw.avi
ff -f lavfi -i testsrc2=size=320x240:rate=25 -t 10 -c:v libx264 -pix_fmt yuv420p end_index.mp4
ff -i end_index.mp4 -c copy -movflags +faststart faststart.mp4
ff -f lavfi -i testsrc2=size=160x120:rate=25 -t 2 -c:v libx264 -pix_fmt yuv420p -movflags +faststart short.mp4
ff -f lavfi -i testsrc2=size=160x120:rate=25 -t 2 -c:v mjpeg -q:v 5 mjpeg.mkv

cut() {  # cut SOURCE PERCENT
  local out="cut${2}_${1}"
  head -c $(( $(stat -c %s "$1") * $2 / 100 )) "$1" > "$out"
  echo "$out"
}
for p in 1 25 50 75 99; do cut raw.avi $p; done
for p in 10 50 90; do cut faststart.mp4 $p; done
cut end_index.mp4 50
for p in 30 60; do cut mjpeg.mkv $p; done

# A sample table whose entries point into nowhere (four bytes of the index overwritten).
python3 - <<'PY'
b = bytearray(open("faststart.mp4", "rb").read())
for o, v in [(735, 0xC9), (736, 0x83), (1496, 0xE5), (2610, 0x77)]:
    b[o] = v
open("sample_table.mp4", "wb").write(b)
PY
echo sample_table.mp4

# Seeded bit flips: a few bytes of each file changed, the first 32 bytes kept so the format is
# still recognised.
python3 - "$flips" <<'PY'
import random, sys
n = int(sys.argv[1])
for src in ["short.mp4", "raw.avi", "mjpeg.mkv"]:
    data = open(src, "rb").read()
    for seed in range(n):
        rnd = random.Random(seed * 1000 + len(src))
        b = bytearray(data)
        for _ in range(rnd.choice([1, 4, 16, 64])):
            o = rnd.randrange(32, len(b))
            b[o] ^= 1 << rnd.randrange(8)
        name = f"flip{seed:02d}_{src}"
        open(name, "wb").write(b)
        print(name)
PY

# Names that are no regular file: a FIFO nobody writes to, a device without end, a folder.
rm -f fifo.mp4; mkfifo fifo.mp4; echo fifo.mp4
ln -sf /dev/zero zero.mp4; echo zero.mp4
mkdir -p folder.mp4; echo folder.mp4
