#!/usr/bin/env bash
# clipsmith-cli on damaged inputs: each one ends with exit 0 and a GIF that ffprobe reads, or
# with exit 1, a message, and no GIF. A conversion that does not end within the limit has hung
# (the limit is generous: healthy runs take about a second).
#   damaged.sh CLI
set -uo pipefail
cli=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
mapfile -t files < <(bash "$(dirname "$0")/damaged_files.sh" "$dir/in")
failed=0
for f in "${files[@]}"; do
  out="$dir/out.gif"
  rm -f "$out"
  timeout -k 5 120 "$cli" -q "$dir/in/$f" "$out" 2> "$dir/err"
  rc=$?
  case $rc in
    0) if ! ffprobe -v error -count_frames -show_entries stream=nb_read_frames -of csv=p=0 "$out" > /dev/null 2>&1; then
         echo "$f: exit 0 but the GIF does not decode"; failed=1
       else echo "$f: converted"; fi ;;
    1) if [ ! -s "$dir/err" ]; then echo "$f: exit 1 without a message"; failed=1
       elif [ -e "$out" ]; then echo "$f: exit 1 but a GIF was left"; failed=1
       else echo "$f: refused: $(head -1 "$dir/err")"; fi ;;
    124|137) echo "$f: did not end"; failed=1 ;;
    *) echo "$f: exit $rc: $(head -3 "$dir/err")"; failed=1 ;;
  esac
done
exit $failed
