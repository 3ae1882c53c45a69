#!/usr/bin/env bash
# Joining many clips: N copies of one 1-second 1280x720 H.264 + AAC clip
# (N = 100, 300, 1000) joined by 'orvane join' into MP4 and by the ffmpeg
# CLI's concat demuxer doing the same, alternately in one run: re-encoding
# with MP4 preset 3 (640x420; the 1000 clips at preset 0, 320x240, which is
# also run at 100 clips to measure the growth) against a scaled re-encode,
# and "Same as source - no re-encoding" against -c copy. Prints wall time and
# peak memory (maximum resident set size) of each run.
# Usage: bench/scale_vs_ffmpeg.sh [BUILD_DIR] [COUNTS...]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
shift || true
counts=("$@")
[ ${#counts[@]} -gt 0 ] || counts=(100 300 1000)
orvane="$build/bin/orvane"
[ -x "$orvane" ] || { echo "missing $orvane (build first)" >&2; exit 2; }
largest=${counts[-1]}

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
gen() { ffmpeg -hide_banner -loglevel error -nostdin -y "$@"; }
gen -f lavfi -i testsrc2=size=1280x720:rate=30:duration=1 -f lavfi -i sine=frequency=440:sample_rate=48000:duration=1 \
    -ac 2 -pix_fmt yuv420p -c:v libx264 -preset ultrafast -g 30 -c:a aac -b:a 128k -shortest "$work/clip.mp4"
mkdir -p "$work/clips"
for ((i = 1; i <= largest; i++)); do
    name=$(printf '%s/clips/clip%05d.mp4' "$work" "$i")
    ln "$work/clip.mp4" "$name" 2>/dev/null || cp "$work/clip.mp4" "$name"
done
clips() { for ((i = 1; i <= $1; i++)); do printf '%s/clips/clip%05d.mp4\n' "$work" "$i"; done; }

# MP4's "Same as source - no re-encoding" preset by its caption.
copy_preset=$("$orvane" presets MP4 | awk -F'\t' '$3 ~ /^Same as source/ { print $2 }')
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config"
mkdir -p "$HOME"

# Runs a command; prints "seconds kilobytes" (wall time, peak memory).
measure() {
    /usr/bin/time -f "%e %M" -o "$work/time.txt" "$@" >/dev/null 2>"$work/err.txt" || { tail -5 "$work/err.txt" >&2; return 1; }
    cat "$work/time.txt"
}
# The ffmpeg CLI's equivalent of an MP4 device preset: fitted and padded
# into its size, 30 fps, H.264 at 640 kbit/s, AAC 128 kbit/s 44.1 kHz stereo.
ffmpeg_scaled() {
    local w=$1 h=$2 list=$3 out=$4
    measure ffmpeg -hide_banner -nostdin -y -f concat -safe 0 -i "$list" \
        -vf "scale=$w:$h:force_original_aspect_ratio=decrease,pad=$w:$h:-1:-1" -r 30 \
        -c:v libx264 -b:v 640k -c:a aac -b:a 128k -ar 44100 -ac 2 "$out"
}

results="$work/results.txt"
: >"$results"
run_case() {  # N KIND PRESET W H
    local n=$1 kind=$2 preset=$3 w=$4 h=$5
    clips "$n" | sed "s/.*/file '&'/" >"$work/list.txt"
    rm -rf "$work/engine" "$work/ffmpeg.mp4"
    mapfile -t files < <(clips "$n")
    local e f size="${w}x$h"
    [ "$kind" = copy ] && size=source
    e=$(measure "$orvane" join --format MP4 --preset "$preset" -o "$work/engine" "${files[@]}")
    if [ "$kind" = copy ]; then
        f=$(measure ffmpeg -hide_banner -nostdin -y -f concat -safe 0 -i "$work/list.txt" -map 0 -c copy "$work/ffmpeg.mp4")
    else
        f=$(ffmpeg_scaled "$w" "$h" "$work/list.txt" "$work/ffmpeg.mp4")
    fi
    echo "$n $kind $size $e $f" | tee -a "$results" >&2
}

for n in "${counts[@]}"; do
    if [ "$n" = "$largest" ] && [ "$n" -ge 1000 ]; then
        run_case "$n" reencode 0 320 240
    else
        run_case "$n" reencode 3 640 420
    fi
    run_case "$n" copy "$copy_preset" - -
done
# The growth is measured at one preset: the fast one at 100 clips as well.
[ "$largest" -ge 1000 ] && run_case "${counts[0]}" reencode 0 320 240

awk -v big="$largest" -v small="${counts[0]}" '
{
    printf "%5d inputs  %-8s %-8s  engine %7.2f s %7.1f MB   ffmpeg %7.2f s %7.1f MB\n", $1, $2, $3, $4, $5 / 1024, $6, $7 / 1024
    if ($1 == big && $2 == "reencode") { re_ratio = $5 / $7; fast = $3 }
    if ($1 == big && $2 == "copy") copy_ratio = $4 / $6
    key = $1 " " $2 " " $3
    mem[key] = $5
}
END {
    printf "re-encoding join peak memory ratio engine/ffmpeg at %d inputs: %.2f\n", big, re_ratio
    printf "re-encoding join memory growth from %d to %d inputs: %d MB\n", small, big, (mem[big " reencode " fast] - mem[small " reencode " fast]) / 1024
    printf "lossless join wall-time ratio engine/ffmpeg at %d inputs: %.2f\n", big, copy_ratio
}' "$results"
