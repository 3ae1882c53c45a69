#!/usr/bin/env bash
# Joining without re-encoding: a 2-minute 1080p H.264 + AAC recording, split
# into three parts by stream copy, joined by 'orvane join' with MP4's "Same as
# source - no re-encoding" preset and by the ffmpeg CLI's concat demuxer with
# -c copy, alternately in one run. Also times our re-encoding join of the same
# parts with "Original Size - High Quality".
# Usage: bench/copy_join_vs_ffmpeg.sh [BUILD_DIR] [ROUNDS]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
rounds="${2:-5}"
orvane="$build/bin/orvane"
[ -x "$orvane" ] || { echo "missing $orvane (build first)" >&2; exit 2; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
gen() { ffmpeg -hide_banner -loglevel error -nostdin -y "$@"; }
gen -f lavfi -i testsrc2=size=1920x1080:rate=30:duration=120 -f lavfi -i sine=frequency=440:sample_rate=48000:duration=120 \
    -ac 2 -pix_fmt yuv420p -c:v libx264 -preset ultrafast -g 60 -c:a aac -b:a 192k "$work/recording.mp4"
gen -i "$work/recording.mp4" -map 0 -c copy -f segment -segment_times 40,80 -reset_timestamps 1 "$work/part%d.mp4"
parts=("$work/part0.mp4" "$work/part1.mp4" "$work/part2.mp4")
printf "file '%s'\n" "${parts[@]}" >"$work/list.txt"

# MP4's presets: "Original Size - High Quality" third from the end, "Same as
# source - no re-encoding" last.
count=$("$orvane" presets MP4 | wc -l)
copy_preset=$((count - 1))
hq_preset=$((count - 3))

export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config"
mkdir -p "$HOME"

# Runs a command; prints its wall time in seconds.
measure() {
    /usr/bin/time -f "%e" -o "$work/time.txt" "$@" >/dev/null 2>"$work/err.txt" || { cat "$work/err.txt" >&2; return 1; }
    cat "$work/time.txt"
}
add() { awk -v a="$1" -v b="$2" 'BEGIN { print a + b }'; }

e_t=0 f_t=0
for ((r = 0; r < rounds; r++)); do
    rm -rf "$work/engine" "$work/ffmpeg.mp4"
    t=$(measure "$orvane" join --format MP4 --preset "$copy_preset" -o "$work/engine" "${parts[@]}")
    e_t=$(add "$e_t" "$t")
    t=$(measure ffmpeg -hide_banner -nostdin -y -f concat -safe 0 -i "$work/list.txt" -map 0 -c copy "$work/ffmpeg.mp4")
    f_t=$(add "$f_t" "$t")
done
for who in "engine/Output_Merge.mp4" "ffmpeg.mp4"; do
    printf '%s: %s\n' "$who" "$(ffprobe -v error -count_packets -show_entries format=duration:stream=codec_name,width,height,nb_read_packets -of compact=nk=1 "$work/$who" | tr '\n' ' ')"
done
rm -rf "$work/reencode"
t_re=$(measure "$orvane" join --format MP4 --preset "$hq_preset" -o "$work/reencode" "${parts[@]}")
printf 'reencode: %s\n' "$(ffprobe -v error -show_entries format=duration:stream=codec_name,width,height,avg_frame_rate -of compact=nk=1 "$work/reencode/Output_Merge.mp4" | tr '\n' ' ')"
awk -v et="$e_t" -v ft="$f_t" -v re="$t_re" -v r="$rounds" 'BEGIN {
    printf "lossless join engine: %.2f s wall (mean of %d)\n", et / r, r
    printf "lossless join ffmpeg concat -c copy: %.2f s wall (mean of %d)\n", ft / r, r
    printf "re-encoding join (Original Size - High Quality): %.2f s wall\n", re
    printf "lossless join speed-up over re-encoding: %.1f\n", re / (et / r)
    printf "lossless join wall-time ratio engine/ffmpeg: %.2f\n", et / ft
}'
