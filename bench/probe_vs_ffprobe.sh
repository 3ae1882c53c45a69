#!/usr/bin/env bash
# Probe plus thumbnail of a batch of files: "orvane probe --thumbnail" against
# ffprobe plus "ffmpeg -ss <middle> -frames:v 1" on the same files, alternately
# in one run. Usage: bench/probe_vs_ffprobe.sh [BUILD_DIR] [ROUNDS]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
rounds="${2:-5}"
orvane="$build/bin/orvane"
[ -x "$orvane" ] || { echo "missing $orvane (build first)" >&2; exit 2; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
gen() { ffmpeg -hide_banner -loglevel error -y "$@"; }
gen -f lavfi -i testsrc2=size=1920x1080:rate=25 -f lavfi -i sine=frequency=440:sample_rate=48000 -t 20 \
    -c:v libx264 -preset veryfast -c:a aac -shortest "$work/h264_1080p.mp4"
gen -f lavfi -i testsrc2=size=1280x720:rate=25 -f lavfi -i sine=frequency=330:sample_rate=44100 -t 20 \
    -c:v mpeg4 -b:v 2M -c:a libmp3lame -shortest "$work/mpeg4_720p.avi"
gen -f lavfi -i sine=frequency=550:sample_rate=44100 -t 20 -c:a libmp3lame "$work/audio.mp3"
files=("$work/h264_1080p.mp4" "$work/mpeg4_720p.avi" "$work/audio.mp3")

now() { date +%s.%N; }

run_orvane() {
    rm -rf "$work/thumbs_o"
    "$orvane" probe "${files[@]}" --thumbnail "$work/thumbs_o" >/dev/null
}

run_ffmpeg() {
    rm -rf "$work/thumbs_f"; mkdir -p "$work/thumbs_f"
    local f info dur mid
    for f in "${files[@]}"; do
        info="$(ffprobe -v error -show_format -show_streams -of json "$f")"
        if grep -q '"codec_type": "video"' <<<"$info"; then
            dur="$(sed -n 's/.*"duration": "\([0-9.]*\)".*/\1/p' <<<"$info" | tail -n 1)"
            mid="$(awk -v d="${dur:-0}" 'BEGIN { printf "%.3f", d / 2 }')"
            ffmpeg -hide_banner -loglevel error -y -ss "$mid" -i "$f" -frames:v 1 "$work/thumbs_f/$(basename "$f").png"
        fi
    done
}

run_orvane; run_ffmpeg  # warm the caches
t_o=0; t_f=0
for ((i = 0; i < rounds; i++)); do
    s=$(now); run_orvane; e=$(now); t_o=$(python3 -c "print($t_o + $e - $s)")
    s=$(now); run_ffmpeg; e=$(now); t_f=$(python3 -c "print($t_f + $e - $s)")
done
[ -f "$work/thumbs_o/h264_1080p.mp4.png" ] && [ -f "$work/thumbs_o/mpeg4_720p.avi.png" ] || { echo "orvane wrote no thumbnails" >&2; exit 1; }
printf 'batch of %d files, %d rounds\n' "${#files[@]}" "$rounds"
printf 'orvane probe + thumbnail: %.3f s per batch\n' "$(python3 -c "print($t_o / $rounds)")"
printf 'ffprobe + ffmpeg:         %.3f s per batch\n' "$(python3 -c "print($t_f / $rounds)")"
printf 'probe batch time ratio orvane/ffmpeg: %.2f\n' "$(python3 -c "print($t_o / $t_f)")"
