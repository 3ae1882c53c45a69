#!/usr/bin/env bash
# Joins mutated media with a good clip through "orvane join", niced, each run
# under a time limit, and counts what went wrong: crashes (killed by a
# signal), hangs (over the limit), sanitizer reports, outputs far longer
# than their inputs, and files left in the output folder beside the outputs
# the summary names (a failed join leaves nothing). Half the files are FLVs whose tag timestamps are
# damaged, half MP4s and FLVs with random bytes changed.
# Usage: scripts/mutated_joins.sh [BUILD_DIR] [COUNT] [SECONDS] [SEED]
# Exits 1 when anything went wrong; the failing inputs are kept in the
# printed folder.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
count="${2:-100}"
limit="${3:-60}"
seed="${4:-1}"
case "$build" in /*) orvane="$build/bin/orvane" ;; *) orvane="$PWD/$build/bin/orvane" ;; esac
[ -x "$orvane" ] || { echo "missing $orvane (build first)" >&2; exit 2; }

work="$(mktemp -d)"
keep=0
trap '[ "$keep" = 1 ] || rm -rf "$work"' EXIT
gen() { ffmpeg -hide_banner -loglevel error -nostdin -y "$@"; }
src="-f lavfi -i testsrc=size=320x240:rate=25:duration=2 -f lavfi -i sine=frequency=440:duration=2 -pix_fmt yuv420p"
gen $src -c:v flv1 -c:a aac "$work/seed.flv"
gen $src -c:v libx264 -preset ultrafast -c:a aac -movflags +faststart "$work/seed.mp4"
gen $src -c:v mpeg4 -c:a aac "$work/good.mp4"

python3 - "$work" "$count" "$seed" <<'EOF'
import random, struct, sys
work, count, seed = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
rnd = random.Random(seed)
flv = open(f"{work}/seed.flv", "rb").read()
mp4 = open(f"{work}/seed.mp4", "rb").read()

def flv_tags(data):
    pos, tags = 13, []
    while pos + 11 <= len(data):
        tags.append(pos)
        pos += 11 + int.from_bytes(data[pos + 1:pos + 4], "big") + 4
    return tags

def stamp(data):
    # One to three tags stamped anywhere from a second to days away.
    data = bytearray(data)
    tags = flv_tags(data)
    for pos in rnd.sample(tags[1:], rnd.randint(1, 3)):
        ms = rnd.choice([rnd.randint(0, 0xFFFFFF), rnd.randint(0, 0xFFFFFFFF), 3 * 3600 * 1000, 86400 * 1000])
        data[pos + 4:pos + 7] = (ms & 0xFFFFFF).to_bytes(3, "big")
        data[pos + 7] = ms >> 24
    return bytes(data)

def flip(data):
    data = bytearray(data)
    for _ in range(rnd.randint(1, 20)):
        data[rnd.randrange(len(data))] = rnd.randrange(256)
    return bytes(data)

for i in range(count):
    kind = i % 3
    data = stamp(flv) if kind == 0 else flip(flv) if kind == 1 else flip(mp4)
    open(f"{work}/m{i:04d}.{'mp4' if kind == 2 else 'flv'}", "wb").write(data)
EOF

export HOME="$work/home" ASAN_OPTIONS="detect_leaks=1:abort_on_error=1" UBSAN_OPTIONS="print_stacktrace=1"
mkdir -p "$HOME"
files=0 crashes=0 hangs=0 reports=0 long=0 failed=0 left=0
for f in "$work"/m*.*; do
    files=$((files + 1))
    out="$work/out-$(basename "$f")"
    status=0
    nice -n 10 timeout -s KILL "$limit" "$orvane" join -f MP4 -p 2 -o "$out" "$f" "$work/good.mp4" \
        >"$out.log" 2>&1 || status=$?
    if grep -qE "ERROR: (Address|Leak)Sanitizer|runtime error:" "$out.log"; then
        reports=$((reports + 1)); keep=1; echo "sanitizer report: $f"
    elif [ "$status" = 137 ]; then
        hangs=$((hangs + 1)); keep=1; echo "over ${limit}s: $f"
    elif [ "$status" -gt 128 ]; then
        crashes=$((crashes + 1)); keep=1; echo "crash ($status): $f"
    elif [ "$status" != 0 ]; then
        failed=$((failed + 1))
    else
        # Two 2-s inputs: an output much longer than their total is a runaway.
        d=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$out"/* 2>/dev/null | head -n1)
        if [ -n "$d" ] && awk -v d="$d" 'BEGIN { exit !(d > 10) }'; then
            long=$((long + 1)); keep=1; echo "output of ${d}s: $f"
        fi
    fi
    if [ "$status" -le 128 ] && [ -d "$out" ]; then
        # Exactly the outputs the summary names (a refused input still
        # lets the good clip be written).
        entries=$(find "$out" -mindepth 1 | wc -l)
        named=$(grep -c '^Output: ' "$out.log" || true)
        if [ "$entries" != "$named" ]; then
            left=$((left + 1)); keep=1; echo "left behind (status $status): $(ls -A "$out" | tr '\n' ' ')$f"
        fi
    fi
    rm -rf "$out"
done
echo "files $files, crashes $crashes, over ${limit}s $hangs, sanitizer reports $reports, outputs over 10 s $long," \
     "files left behind $left, refused or failed with a reason $failed"
[ "$keep" = 1 ] && echo "inputs kept in $work"
[ $((crashes + hangs + reports + long + left)) = 0 ]
