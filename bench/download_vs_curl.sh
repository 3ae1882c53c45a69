#!/usr/bin/env bash
# A whole 'orvane download' of one large video from the fake video site
# against the curl command line fetching the same stream address, and the
# peak memory of orvane while it does so (the stream goes to a file, so the
# memory must not grow with the video).
#
# orvane's time includes the watch page, the video info, the script and the
# fixed 1500 ms pause after it; that overhead is measured with a 1-byte video
# and taken off, so the ratio compares the stream transfers.
# Usage: bench/download_vs_curl.sh [BUILD_DIR] [ROUNDS] [SIZE_MB]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
rounds="${2:-3}"
size_mb="${3:-300}"
orvane="$build/bin/orvane"
[ -x "$orvane" ] || { echo "missing $orvane (build first)" >&2; exit 2; }

work="$(mktemp -d)"
server_pid=""
cleanup() {
    exec 3>&- 2>/dev/null || true
    [ -n "$server_pid" ] && wait "$server_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
head -c "$((size_mb * 1024 * 1024))" /dev/urandom >"$work/big.bin"
head -c 1 /dev/zero >"$work/tiny.bin"
bytes="$(stat -c %s "$work/big.bin")"
cat >"$work/site.json" <<EOF
{"videos": {"big": {"title": "Big", "streams": [{"itag": 18, "file": "$work/big.bin"}]},
            "tiny": {"title": "Tiny", "streams": [{"itag": 18, "file": "$work/tiny.bin"}]}}}
EOF

mkfifo "$work/port" "$work/stdin"
python3 tests/download/fake_site.py "$work/site.json" <"$work/stdin" >"$work/port" &
server_pid=$!
exec 3>"$work/stdin"  # the site ends when this closes
read -r port <"$work/port"
host="127.0.0.1:$port"
stream="http://$host/videoplayback?id=big&itag=18&ipbits=8&signature=SIG18big"

# Runs a command, prints "seconds peak_rss_kb".
measure() {
    python3 - "$@" <<'PY'
import resource, subprocess, sys, time
t0 = time.monotonic()
subprocess.run(sys.argv[1:], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
t1 = time.monotonic()
print("%.4f %d" % (t1 - t0, resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss))
PY
}
ours() {  # ID -> "seconds rss"
    rm -rf "$work/out"
    XDG_CONFIG_HOME="$work/config" measure "$orvane" download --prefer --host "$host" -o "$work/out" \
        "http://$host/watch?v=$1"
}
best() { grep . | sort -g | head -n1; }

curl -s -o /dev/null "$stream"  # warm the page cache and the site
overheads="" ours_times="" curl_times="" peak=0
for _ in $(seq "$rounds"); do
    read -r t _ <<<"$(ours tiny)"
    overheads+="$t"$'\n'
    read -r t rss <<<"$(ours big)"
    [ "$(stat -c %s "$work/out/Big.mp4")" = "$bytes" ] || { echo "orvane: wrong size" >&2; exit 1; }
    ours_times+="$t"$'\n'
    [ "$rss" -gt "$peak" ] && peak="$rss"
    read -r t _ <<<"$(measure curl -s -o "$work/curl.bin" "$stream")"
    [ "$(stat -c %s "$work/curl.bin")" = "$bytes" ] || { echo "curl: wrong size" >&2; exit 1; }
    rm -f "$work/curl.bin"
    curl_times+="$t"$'\n'
done
overhead="$(best <<<"$overheads")"
o="$(best <<<"$ours_times")"
c="$(best <<<"$curl_times")"
awk -v mb="$size_mb" -v ov="$overhead" -v o="$o" -v c="$c" -v peak="$peak" 'BEGIN {
    s = o - ov
    printf "video size: %d MB, best of rounds\n", mb
    printf "orvane download: %.3f s in all, %.3f s of it before the stream (pages, script, pause)\n", o, ov
    printf "stream: orvane %.1f MB/s, curl %.1f MB/s\n", mb / s, mb / c
    printf "orvane peak memory: %.1f MB for a %d MB video\n", peak / 1024, mb
    printf "download throughput ratio orvane/curl: %.2f\n", c / s
}'
