#!/usr/bin/env bash
# 'orvane download' of an HTML5 video page through yt-dlp against yt-dlp run
# by hand on the same page (same format, into a plain folder), and curl on
# the video itself: what the process runner, the progress lines, the hidden
# folder and the rename cost on top of yt-dlp, and orvane's peak memory
# while yt-dlp downloads.
# Usage: bench/ytdlp_vs_direct.sh [BUILD_DIR] [ROUNDS] [SIZE_MB]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
rounds="${2:-3}"
size_mb="${3:-200}"
orvane="$build/bin/orvane"
[ -x "$orvane" ] || { echo "missing $orvane (build first)" >&2; exit 2; }
command -v yt-dlp >/dev/null || { echo "yt-dlp is not installed" >&2; exit 2; }

work="$(mktemp -d)"
server_pid=""
cleanup() {
    exec 3>&- 2>/dev/null || true
    [ -n "$server_pid" ] && wait "$server_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
# yt-dlp takes the container from the page; the bytes need not be a real video.
head -c "$((size_mb * 1024 * 1024))" /dev/urandom >"$work/big.mp4"
bytes="$(stat -c %s "$work/big.mp4")"
cat >"$work/site.json" <<EOF
{"pages": {"/big": {"title": "Big", "src": "big.mp4"}},
 "media": {"big.mp4": {"file": "$work/big.mp4"}}}
EOF

mkfifo "$work/port" "$work/stdin"
python3 tests/download/fake_site.py "$work/site.json" <"$work/stdin" >"$work/port" &
server_pid=$!
exec 3>"$work/stdin"  # the site ends when this closes
read -r port <"$work/port"
page="http://127.0.0.1:$port/big"

# Runs a command, prints "seconds peak_rss_kb" (the largest child's).
measure() {
    python3 - "$@" <<'PY'
import resource, subprocess, sys, time
t0 = time.monotonic()
subprocess.run(sys.argv[1:], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
t1 = time.monotonic()
print("%.4f %d" % (t1 - t0, resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss))
PY
}
best() { grep . | sort -g | head -n1; }

curl -s -o /dev/null "http://127.0.0.1:$port/media/big.mp4"  # warm the page cache
ours_times="" direct_times="" curl_times="" peak=0
for _ in $(seq "$rounds"); do
    rm -rf "$work/out" "$work/direct"
    read -r t rss <<<"$(XDG_CONFIG_HOME="$work/config" measure "$orvane" download --prefer -o "$work/out" "$page")"
    [ "$(stat -c %s "$work/out/Big (1).mp4")" = "$bytes" ] || { echo "orvane: wrong size" >&2; exit 1; }
    ours_times+="$t"$'\n'
    [ "$rss" -gt "$peak" ] && peak="$rss"
    mkdir -p "$work/direct"
    read -r t _ <<<"$(cd "$work/direct" && measure yt-dlp --ignore-config --no-playlist -f 'b[ext=mp4]' \
        -o 'video.%(ext)s' "$page")"
    [ "$(stat -c %s "$work/direct/video.mp4")" = "$bytes" ] || { echo "yt-dlp: wrong size" >&2; exit 1; }
    direct_times+="$t"$'\n'
    read -r t _ <<<"$(measure curl -s -o "$work/curl.bin" "http://127.0.0.1:$port/media/big.mp4")"
    rm -f "$work/curl.bin"
    curl_times+="$t"$'\n'
done
o="$(best <<<"$ours_times")"
d="$(best <<<"$direct_times")"
c="$(best <<<"$curl_times")"
awk -v mb="$size_mb" -v o="$o" -v d="$d" -v c="$c" -v peak="$peak" 'BEGIN {
    printf "video size: %d MB, best of rounds\n", mb
    printf "orvane download (yt-dlp): %.3f s, %.1f MB/s\n", o, mb / o
    printf "yt-dlp by hand:           %.3f s, %.1f MB/s\n", d, mb / d
    printf "curl on the video:        %.3f s, %.1f MB/s\n", c, mb / c
    printf "peak memory of the largest process: %.1f MB\n", peak / 1024
    printf "time ratio yt-dlp by hand/orvane: %.2f\n", d / o
}'
