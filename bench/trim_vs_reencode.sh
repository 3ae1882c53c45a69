#!/usr/bin/env bash
# A trimmed clip joined by copying against the same trim re-encoded: a
# 2-minute 1080p H.264/AAC clip with a key frame every 2 s whose every frame
# shows its number, trimmed to 0:31.3-1:12.7 (both cuts between key frames),
# joined with the MP4 "Same as source" preset (cut at key frames, the
# pictures around the cuts re-encoded) and with "Original Size - High
# Quality" (all re-encoded). Prints the frames at both ends of each output
# against the source's and, last, the ratio of the wall times.
# Usage: bench/trim_vs_reencode.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
orvane="$build/bin/orvane"
[ -x "$orvane" ] || { echo "missing $orvane (build first)" >&2; exit 2; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config"
rate=30
# The frame's number is drawn as the brightness (16 + 3 × (n mod 64)) of a
# patch in the corner, so each output frame names its source frame.
ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi -i "testsrc2=size=1920x1080:rate=$rate:duration=120" \
    -f lavfi -i "color=black:size=64x16:rate=$rate:duration=120,geq=lum='16+3*mod(N,64)':cb=128:cr=128" \
    -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=120" \
    -filter_complex "[0:v][1:v]overlay=0:0" -map 2:a \
    -c:v libx264 -preset veryfast -g $((2 * rate)) -keyint_min $((2 * rate)) -sc_threshold 0 -pix_fmt yuv420p -c:a aac "$work/clip.mp4"

# The number (mod 64) of the first and last frame of a file.
ends() {
    ffmpeg -nostdin -v error -i "$1" -map 0:v -vf "crop=48:8:8:4,scale=16:1:flags=area" -pix_fmt yuv420p -f rawvideo - |
        od -An -v -tu1 -w32 | awk '{ s = 0; for (i = 1; i <= 16; i++) s += $i; n[NR] = int((s / 16 - 16) / 3 + 0.5) } END { print n[1], n[NR], NR }'
}
# 0:31.3 is frame 939 (the first at or after it), the last before 1:12.7 is frame 2180.
echo "expected: first $((939 % 64)) last $((2180 % 64)) frames $((2180 - 939 + 1))"

timed() {
    local start end
    start=$(date +%s.%N)
    "$orvane" join -f MP4 -o "$work/out" --name "$1" --trim 1=0:31.3-1:12.7 "${@:2}" "$work/clip.mp4" >/dev/null 2>"$work/err.txt" ||
        { cat "$work/err.txt" >&2; exit 1; }
    end=$(date +%s.%N)
    awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f\n", b - a }'
}
"$orvane" join -f MP4 -p 21 --plan --trim 1=0:31.3-1:12.7 "$work/clip.mp4"
smart=$(timed cut -p 21)
full=$(timed full -p 19)
read -r f1 l1 n1 < <(ends "$work/out/cut.mp4")
read -r f2 l2 n2 < <(ends "$work/out/full.mp4")
echo "smart cut: first $f1 last $l1 frames $n1 (mod 64), $smart s"
echo "re-encode: first $f2 last $l2 frames $n2 (mod 64), $full s"
awk -v s="$smart" -v f="$full" 'BEGIN { printf "smart cut time / re-encode time: %.2f\n", s / f }'
