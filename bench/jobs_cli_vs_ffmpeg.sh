#!/usr/bin/env bash
# The whole command-line path (probing, job building, the run, the summary)
# against the ffmpeg program doing the same work with the same settings:
#   1. 'orvane convert' of 20 two-second clips to MP3 (preset 2: 48 kHz,
#      stereo, 256 kbit/s) against one ffmpeg call per clip;
#   2. 'orvane join' of three 10-second 640x480 clips to MP4 (preset 15:
#      MPEG-4 1200 kbit/s, 25 fps, AAC 192 kbit/s 48 kHz) against ffmpeg's
#      concat filter;
#   3. 'orvane convert' of twenty 10-second clips to MP3 and to AVI, one file
#      at a time (--jobs 1) against the default (several at once): the line
#      "parallel convert speed-up: X.XX" (both formats' times added).
# Wall time and peak memory of both, alternately, and the ratio.
# Usage: bench/jobs_cli_vs_ffmpeg.sh [BUILD_DIR] [ROUNDS]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
rounds="${2:-3}"
orvane="$(pwd)/$build/bin/orvane"
[ -x "$orvane" ] || { echo "missing $orvane (build first)" >&2; exit 2; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export HOME="$work" XDG_CONFIG_HOME="$work/.config"
gen() { ffmpeg -hide_banner -loglevel error -nostdin -y "$@"; }

clips=()
for i in $(seq -w 1 20); do
  gen -f lavfi -i testsrc=size=320x240:rate=25:duration=2 -f lavfi -i "sine=frequency=$((300 + 10#$i * 20)):sample_rate=44100:duration=2" \
      -ac 2 -c:v mpeg4 -c:a aac -shortest "$work/clip$i.mp4"
  clips+=("$work/clip$i.mp4")
done
tens=()
for i in $(seq -w 1 20); do
  gen -f lavfi -i testsrc=size=320x240:rate=25:duration=10 -f lavfi -i "sine=frequency=$((300 + 10#$i * 20)):sample_rate=44100:duration=10" \
      -ac 2 -c:v mpeg4 -c:a aac -shortest "$work/ten$i.mp4"
  tens+=("$work/ten$i.mp4")
done
joins=()
for i in 1 2 3; do
  gen -f lavfi -i testsrc2=size=640x480:rate=25:duration=10 -f lavfi -i "sine=frequency=$((400 * i)):sample_rate=44100:duration=10" \
      -ac 2 -pix_fmt yuv420p -c:v libx264 -preset veryfast -c:a aac "$work/join$i.mp4"
  joins+=("$work/join$i.mp4")
done

# Runs a command, prints "seconds peak-kB".
measure() {
  /usr/bin/time -f "%e %M" -o "$work/time" "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
  cat "$work/time"
}

ffmpeg_convert() {
  local c
  for c in "${clips[@]}"; do
    ffmpeg -hide_banner -loglevel error -nostdin -y -i "$c" -vn -c:a libmp3lame -ar 48000 -ac 2 -b:a 256k \
      "$work/ff/$(basename "${c%.*}").mp3"
  done
}

ffmpeg_join() {
  ffmpeg -hide_banner -loglevel error -nostdin -y -i "${joins[0]}" -i "${joins[1]}" -i "${joins[2]}" \
    -filter_complex "[0:v][0:a][1:v][1:a][2:v][2:a]concat=n=3:v=1:a=1[v][a]" -map "[v]" -map "[a]" \
    -c:v mpeg4 -b:v 1200k -r 25 -c:a aac -b:a 192k -ar 48000 -ac 2 "$work/ff/join.mp4"
}

report() {  # name, orvane "s kB" lines, ffmpeg "s kB" lines
  python3 - "$@" <<'EOF'
import sys, statistics
name, ours, theirs = sys.argv[1], sys.argv[2].split(), sys.argv[3].split()
o = [float(x) for x in ours[0::2]]; om = max(int(x) for x in ours[1::2])
t = [float(x) for x in theirs[0::2]]; tm = max(int(x) for x in theirs[1::2])
mo, mt = statistics.median(o), statistics.median(t)
print(f"{name}: orvane {mo:.2f} s, {om/1024:.0f} MB peak; ffmpeg {mt:.2f} s, {tm/1024:.0f} MB peak; "
      f"time ratio orvane/ffmpeg {mo/mt:.2f}")
EOF
}

ours_c="" theirs_c="" ours_j="" theirs_j=""
for r in $(seq 1 "$rounds"); do
  rm -rf "$work/o" "$work/ff"; mkdir -p "$work/ff"
  ours_c+=" $(measure "$orvane" convert --format MP3 --preset 2 -o "$work/o" "${clips[@]}")"
  theirs_c+=" $(measure bash -c "$(declare -p clips work); $(declare -f ffmpeg_convert); ffmpeg_convert")"
  ours_j+=" $(measure "$orvane" join --format MP4 --preset 15 -o "$work/o" "${joins[@]}")"
  theirs_j+=" $(measure bash -c "$(declare -p joins work); $(declare -f ffmpeg_join); ffmpeg_join")"
done
report "convert 20 clips to MP3" "$ours_c" "$theirs_c"
report "join 3 clips to MP4" "$ours_j" "$theirs_j"

one="" many=""
for r in $(seq 1 "$rounds"); do
  for format in MP3 AVI; do
    rm -rf "$work/p1" "$work/pn"
    one+=" $(measure "$orvane" convert --format "$format" --jobs 1 -o "$work/p1" "${tens[@]}")"
    many+=" $(measure "$orvane" convert --format "$format" -o "$work/pn" "${tens[@]}")"
  done
done
python3 - "$one" "$many" <<'EOF'
import sys, statistics
one = [float(x) for x in sys.argv[1].split()[0::2]]
many = [float(x) for x in sys.argv[2].split()[0::2]]
# Each round: MP3 then AVI; a round's time is both added.
rounds = lambda v: [v[i] + v[i + 1] for i in range(0, len(v), 2)]
o, m = statistics.median(rounds(one)), statistics.median(rounds(many))
print(f"convert 20 ten-second clips to MP3 and AVI: --jobs 1 {o:.2f} s, default {m:.2f} s")
print(f"parallel convert speed-up: {o / m:.2f}")
EOF
