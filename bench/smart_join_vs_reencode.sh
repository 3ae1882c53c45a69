#!/usr/bin/env bash
# A join that copies what matches against the same join re-encoded: five
# 30-second 1080p H.264/AAC clips, one of them 1280x720, joined with the MP4
# "Same as source" preset following the plan (only the 720p clip re-encoded)
# and with "Original Size - High Quality" (every clip re-encoded). Prints both
# wall times and, last, their ratio.
# Usage: bench/smart_join_vs_reencode.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
orvane="$build/bin/orvane"
[ -x "$orvane" ] || { echo "missing $orvane (build first)" >&2; exit 2; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config"
gen() { ffmpeg -hide_banner -loglevel error -nostdin -y "$@"; }
clips=()
for i in 1 2 3 4 5; do
    size=1920x1080 rate=30
    [ "$i" = 3 ] && size=1280x720 rate=25
    gen -f lavfi -i "testsrc2=size=$size:rate=$rate:duration=30" -f lavfi -i "sine=frequency=$((300 + 100 * i)):sample_rate=48000:duration=30" \
        -ac 2 -c:v libx264 -preset veryfast -g 60 -pix_fmt yuv420p -c:a aac "$work/clip$i.mp4"
    clips+=("$work/clip$i.mp4")
done

"$orvane" join -f MP4 -p 21 -o "$work/out" --plan "${clips[@]}"
# Runs a join; prints its wall time in seconds.
timed() {
    local start end
    start=$(date +%s.%N)
    "$orvane" join -f MP4 -o "$work/out" "$@" "${clips[@]}" >/dev/null 2>"$work/err.txt" || { cat "$work/err.txt" >&2; exit 1; }
    end=$(date +%s.%N)
    awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f\n", b - a }'
}
smart=$(timed -p 21 --reencode-if-needed)
full=$(timed -p 19)
for f in "$work/out"/*.mp4; do
    printf '%s: %s\n' "$(basename "$f")" "$(ffprobe -v error -show_entries format=duration:stream=codec_name,width,height -of compact=nk=1 "$f" | tr '\n' ' ')"
done
echo "smart join: $smart s"
echo "full re-encode: $full s"
awk -v s="$smart" -v f="$full" 'BEGIN { printf "smart join time / full re-encode time: %.2f\n", s / f }'
