#!/usr/bin/env bash
# The AV1 and VP9 presets against MP4 "Original Size - High Quality" (H.264,
# CRF 20): the same 60-second 1080p source encoded by each through 'orvane
# join'. Prints per preset the wall time, the size and the PSNR against the
# source (a smaller picture scaled back up first), and last the AV1 preset's
# time and size over H.264's (the size ratio only counts when the two PSNRs
# are within 1 dB).
# Usage: bench/modern_vs_h264.sh [BUILD_DIR] [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
seconds="${2:-60}"
orvane="$build/bin/orvane"
[ -x "$orvane" ] || { echo "missing $orvane (build first)" >&2; exit 2; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config"
gen() { ffmpeg -hide_banner -loglevel error -nostdin -y "$@"; }

# Moving test pictures with a little grain, as a camera gives, kept nearly
# lossless so that the source itself costs the PSNR nothing.
src="$work/source.mov"
gen -f lavfi -i "testsrc2=size=1920x1080:rate=30:duration=$seconds,noise=alls=3:allf=t" \
    -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=$seconds" -ac 2 \
    -c:v libx264 -preset veryfast -qp 4 -pix_fmt yuv420p -c:a pcm_s16le "$src"

# Runs one preset; prints "seconds bytes psnr".
run() {  # FORMAT PRESET
    local format=$1 preset=$2 out="$work/out_$1_$2" start end file psnr
    start=$(date +%s.%N)
    "$orvane" join -f "$format" -p "$preset" -o "$out" "$src" >/dev/null 2>"$work/err.txt" || { cat "$work/err.txt" >&2; exit 1; }
    end=$(date +%s.%N)
    file=$(find "$out" -type f | head -n 1)
    # Pictures paired by their order: Matroska's millisecond times would
    # pair some with their neighbours.
    psnr=$(ffmpeg -hide_banner -nostdin -i "$file" -i "$src" \
        -lavfi "[0:v]scale=1920:1080,settb=1/30,setpts=N[a];[1:v]settb=1/30,setpts=N[b];[a][b]psnr" -f null - 2>&1 |
        sed -n 's/.*PSNR.* average:\([0-9.inf]*\).*/\1/p' | tail -n 1)
    awk -v a="$start" -v b="$end" -v s="$(stat -c %s "$file")" -v p="$psnr" 'BEGIN { printf "%.2f %d %s\n", b - a, s, p }'
}

declare -A time size psnr
# MKV's and WebM's "Original Size - AV1" encode as MP4's does.
names=("h264" "av1" "vp9" "av1_720p")
presets=("MP4 19" "MP4 22" "WebM 1" "WebM 3")
for i in "${!names[@]}"; do
    read -r format preset <<<"${presets[$i]}"
    result=$(run "$format" "$preset")
    read -r t s p <<<"$result"
    time[${names[$i]}]=$t size[${names[$i]}]=$s psnr[${names[$i]}]=$p
    caption=$("$orvane" presets "$format" | awk -F'\t' -v i="$preset" '$2 == i { print $3 }')
    printf '%-9s %-4s %-2s %-60s %8.2f s %10d bytes  PSNR %s dB\n' "${names[$i]}" "$format" "$preset" "$caption" "$t" "$s" "$p"
done

awk -v a="${time[av1]}" -v h="${time[h264]}" 'BEGIN { printf "av1 time / h264 time: %.2f\n", a / h }'
awk -v a="${size[av1]}" -v h="${size[h264]}" -v pa="${psnr[av1]}" -v ph="${psnr[h264]}" 'BEGIN {
    d = pa - ph; if (d < 0) d = -d
    if (d <= 1) printf "av1 size / h264 size at PSNR within 1 dB: %.2f\n", a / h
    else printf "av1 size / h264 size at PSNR within 1 dB: n/a (%.2f, PSNR %.2f dB apart)\n", a / h, d
}'
