#!/usr/bin/env bash
# Joining three mismatched 10-second inputs with the engine (bench/join_driver)
# against the ffmpeg CLI with its concat filter, same encoders, rates, size and
# thread settings, alternately in one run. Prints wall time and peak memory of
# both and the ratio, for MPEG-4 + MP3 in AVI, then libx264 (the x264 device
# options) + AAC in MP4.
# Usage: bench/join_vs_ffmpeg.sh [BUILD_DIR] [ROUNDS]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
rounds="${2:-3}"
driver="$build/bin/join_driver"
[ -x "$driver" ] || { echo "missing $driver (build first)" >&2; exit 2; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
gen() { ffmpeg -hide_banner -loglevel error -nostdin -y "$@"; }
gen -f lavfi -i testsrc2=size=1280x720:rate=25:duration=10 -f lavfi -i sine=frequency=440:sample_rate=44100:duration=10 \
    -ac 2 -pix_fmt yuv420p -c:v libx264 -preset veryfast -c:a aac "$work/in1.mp4"
gen -f lavfi -i testsrc2=size=1280x720:rate=30:duration=10 -f lavfi -i sine=frequency=660:sample_rate=48000:duration=10 \
    -ac 1 -pix_fmt yuv420p -c:v libx264 -preset veryfast -c:a aac "$work/in2.mp4"
gen -f lavfi -i testsrc2=size=640x360:rate=25:duration=10 -f lavfi -i sine=frequency=880:sample_rate=44100:duration=10 \
    -ac 2 -pix_fmt yuv420p -c:v libx264 -preset veryfast -c:a aac "$work/in3.mp4"
inputs=("$work/in1.mp4" "$work/in2.mp4" "$work/in3.mp4")

# Each input brought to the output's size, rate and sound format, then concatenated.
concat_graph() {
    local g="" i
    for i in 0 1 2; do
        g+="[$i:v]scale=1280:720,setsar=1,fps=25[v$i];[$i:a]aresample=44100,aformat=sample_fmts=fltp:channel_layouts=stereo[a$i];"
    done
    echo "${g}[v0][a0][v1][a1][v2][a2]concat=n=3:v=1:a=1[v][a]"
}

# Runs a command; prints "seconds peak_kib".
measure() {
    /usr/bin/time -f "%e %M" -o "$work/time.txt" "$@" >/dev/null 2>"$work/err.txt" || { cat "$work/err.txt" >&2; return 1; }
    cat "$work/time.txt"
}

# bench NAME OUTPUT ENGINE_OPTIONS FFMPEG_OPTIONS
bench() {
    local name="$1" out="$2"
    local -n engine_opts="$3" ffmpeg_opts="$4"
    local e_t=0 f_t=0 e_m=0 f_m=0 r t m
    local eargs=()
    for o in "${engine_opts[@]}"; do eargs+=(-o "$o"); done
    for ((r = 0; r < rounds; r++)); do
        read -r t m < <(measure "$driver" "$work/engine.$out" "${inputs[@]}" "${eargs[@]}")
        e_t=$(awk -v a="$e_t" -v b="$t" 'BEGIN { print a + b }'); ((m > e_m)) && e_m=$m
        read -r t m < <(measure ffmpeg -hide_banner -nostdin -y -i "${inputs[0]}" -i "${inputs[1]}" -i "${inputs[2]}" \
            -filter_complex "$(concat_graph)" -map '[v]' -map '[a]' "${ffmpeg_opts[@]}" "$work/ffmpeg.$out")
        f_t=$(awk -v a="$f_t" -v b="$t" 'BEGIN { print a + b }'); ((m > f_m)) && f_m=$m
    done
    for who in engine ffmpeg; do
        printf '%s %s: %s\n' "$name" "$who" "$(ffprobe -v error -show_entries format=duration:stream=codec_name,width,height,sample_rate,channels -of compact=nk=1 "$work/$who.$out" | tr '\n' ' ')"
    done
    if [ "$name" = libx264 ]; then
        for who in engine ffmpeg; do
            printf '%s %s x264 settings: %s\n' "$name" "$who" "$(strings "$work/$who.$out" | grep -o 'options: .*' | head -n 1 | cut -c1-400)"
        done
    fi
    awk -v n="$name" -v et="$e_t" -v ft="$f_t" -v em="$e_m" -v fm="$f_m" -v r="$rounds" 'BEGIN {
        printf "%s engine: %.2f s wall (mean of %d), %.1f MiB peak\n", n, et / r, r, em / 1024
        printf "%s ffmpeg: %.2f s wall (mean of %d), %.1f MiB peak\n", n, ft / r, r, fm / 1024
        printf "join peak memory ratio engine/ffmpeg (%s): %.2f\n", n, em / fm
        printf "join wall-time ratio engine/ffmpeg (%s): %.2f\n", n, et / ft
    }'
}

mpeg4_engine=(vcodec=mpeg4 vb=1500000 acodec=libmp3lame ab=192000 s=1280x720 r=25 ar=44100 ac=2)
mpeg4_ffmpeg=(-c:v mpeg4 -b:v 1500k -c:a libmp3lame -b:a 192k -ar 44100 -ac 2 -r 25)
bench mpeg4 avi mpeg4_engine mpeg4_ffmpeg

# The x264 device options of the portable-player presets, as the presets give them.
x264_engine=(vcodec=libx264 acodec=libfaac ab=128000 s=1280x720 r=25 ar=44100 ac=2
    flags=+loop cmp=+chroma deblockalpha=0 deblockbeta=0 crf=24 refs=1 coder=0 me_range=16 subq=5
    partitions=+parti4x4+parti8x8+partp8x8 g=250 keyint_min=25 level=30 qmin=10 qmax=51 trellis=2
    sc_threshold=40 i_qfactor=0.71)
# The same in today's terms for the CLI. "+loop" adds to libx264's own flag
# defaults (closed GOP) on both sides, so both encode alike.
x264_ffmpeg=(-c:v libx264 -flags +loop -cmp +chroma -deblock 0:0 -crf 24 -refs 1 -coder 0 -me_range 16 -subq 5 -partitions i4x4,i8x8,p8x8
    -g 250 -keyint_min 25 -level 30 -qmin 10 -qmax 51 -trellis 2 -sc_threshold 40 -i_qfactor 0.71
    -c:a aac -b:a 128k -ar 44100 -ac 2 -r 25)
bench libx264 mp4 x264_engine x264_ffmpeg
