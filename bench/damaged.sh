#!/usr/bin/env bash
# Time and peak memory of clipsmith-cli on each damaged input of the hostile-input checks
# (tests/cli/damaged_files.sh), beside the ffmpeg command decoding the same file.
#   bench/damaged.sh build/src/cli/clipsmith-cli [FLIPS]
set -uo pipefail
cli=$(realpath "$1") flips=${2:-12}
here=$(cd "$(dirname "$0")/.." && pwd)
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
mapfile -t files < <(bash "$here/tests/cli/damaged_files.sh" "$dir/in" "$flips")
printf '%-28s %5s %9s %10s %11s\n' file exit seconds "peak MB" "ffmpeg s"
for f in "${files[@]}"; do
  /usr/bin/time -f '%e %M' -o "$dir/t" timeout -k 5 120 "$cli" -q "$dir/in/$f" "$dir/out.gif" 2>/dev/null
  rc=$?
  read -r secs kb < <(tail -1 "$dir/t")
  fs=$( { /usr/bin/time -f '%e' timeout 20 ffmpeg -nostdin -v quiet -i "$dir/in/$f" -f null - ; } 2>&1 | tail -1)
  printf '%-28s %5s %9s %10.1f %11s\n' "$f" "$rc" "$secs" "$(echo "$kb / 1024" | bc -l)" "$fs"
  rm -f "$dir/out.gif"
done
