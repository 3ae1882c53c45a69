#!/usr/bin/env bash
# Download throughput of TWinHTTP (progress handler bound, as the downloader
# uses it) against the curl command line, from the local test server (files
# sent with sendfile, so the server is never the slow side), for a memory body
# and a file body. The memory body is set against curl writing into a file in
# RAM (/dev/shm), since both then keep the whole body in memory; the file body
# against curl writing a file beside ours. The ratio is taken with TransferBufferSize = BUFFER
# (default 65536); the 4096-byte default is measured too and printed for
# information: there every 4 KiB read is one synchronous progress event.
# Usage: bench/http_vs_curl.sh [BUILD_DIR] [ROUNDS] [SIZE_MB]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
rounds="${2:-3}"
size_mb="${3:-200}"
driver="$build/bin/http_download"
[ -x "$driver" ] || { echo "missing $driver (build first)" >&2; exit 2; }

work="$(mktemp -d)"
server_pid=""
cleanup() {
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
head -c "$((size_mb * 1024 * 1024))" /dev/urandom >"$work/big.bin"
bytes="$(stat -c %s "$work/big.bin")"

mkfifo "$work/port" "$work/stdin"
python3 tests/net/http_test_server.py --root "$work" <"$work/stdin" >"$work/port" &
server_pid=$!
exec 3>"$work/stdin"  # the server ends when this closes
read -r _ port <"$work/port"
url="http://127.0.0.1:$port/file/big.bin"

now() { date +%s.%N; }
curl_time() {  # $1 = output
    local t0 t1
    t0="$(now)"; curl -s -o "$1" "$url"; t1="$(now)"
    [ "$(stat -c %s "$1" 2>/dev/null || echo 0)" = "$bytes" ] || { echo "curl: short file" >&2; exit 1; }
    rm -f "$1"
    awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.4f", b - a }'
}
ours_time() {  # BUFFER [output file]
    local out buffer="$1"; shift
    out="$(OV_BENCH_BUFFER="$buffer" "$driver" "$url" "$@")"
    [ "$(cut -d' ' -f2 <<<"$out")" = "$bytes" ] || { echo "twinhttp: wrong size: $out" >&2; exit 1; }
    cut -d' ' -f1 <<<"$out"
}
best() { tr ' ' '\n' | grep . | sort -g | head -n1; }

# Warm the page cache and the server once.
curl -s -o /dev/null "$url"
buffer="${BUFFER:-65536}"
ram="/dev/shm"
[ -d "$ram" ] && [ -w "$ram" ] || ram="$work"
ram_file="$ram/ovbench-$$.bin"
trap 'rm -f "$ram_file"; cleanup' EXIT
c_mem="" c_file="" o_mem="" o_file="" d_mem="" d_file=""
for _ in $(seq "$rounds"); do
    c_mem+="$(curl_time "$ram_file") "
    o_mem+="$(ours_time "$buffer") "
    d_mem+="$(ours_time 4096) "
    c_file+="$(curl_time "$work/curl.bin") "
    o_file+="$(ours_time "$buffer" "$work/ours.bin") "
    cmp -s "$work/big.bin" "$work/ours.bin" || { echo "twinhttp: file differs" >&2; exit 1; }
    rm -f "$work/ours.bin"
    d_file+="$(ours_time 4096 "$work/ours.bin") "; rm -f "$work/ours.bin"
done
c_mem="$(best <<<"$c_mem")"; o_mem="$(best <<<"$o_mem")"; d_mem="$(best <<<"$d_mem")"
c_file="$(best <<<"$c_file")"; o_file="$(best <<<"$o_file")"; d_file="$(best <<<"$d_file")"
mbps() { awk -v s="$1" -v b="$bytes" 'BEGIN { printf "%.1f", b / 1048576 / s }'; }
printf "%-26s %8s s  %8s MB/s\n" "curl -> file in RAM" "$c_mem" "$(mbps "$c_mem")"
printf "%-26s %8s s  %8s MB/s\n" "TWinHTTP memory body" "$o_mem" "$(mbps "$o_mem")"
printf "%-26s %8s s  %8s MB/s\n" "  (4096-byte reads)" "$d_mem" "$(mbps "$d_mem")"
printf "%-26s %8s s  %8s MB/s\n" "curl -> file" "$c_file" "$(mbps "$c_file")"
printf "%-26s %8s s  %8s MB/s\n" "TWinHTTP file body" "$o_file" "$(mbps "$o_file")"
printf "%-26s %8s s  %8s MB/s\n" "  (4096-byte reads)" "$d_file" "$(mbps "$d_file")"
awk -v cm="$c_mem" -v om="$o_mem" -v cf="$c_file" -v of="$o_file" 'BEGIN {
    rm = cm / om; rf = cf / of; r = rm < rf ? rm : rf
    printf "TransferBufferSize '"$buffer"': memory ratio %.2f, file ratio %.2f\n", rm, rf
    printf "download throughput ratio twinhttp/curl: %.2f\n", r
}'
