#!/usr/bin/env bash
# Measures the client's CPU time per resumed TLS handshake: tls_handshakes
# fetches the header of one small file from a local nginx COUNT times, each on
# a new connection, over plain HTTP and over TLS (every handshake after the
# first resumes), and prints both CPU times per transfer and their difference.
# A third run keeps the connection (no handshake at all).
#
#   bash bench/tls_handshakes.sh [--count N] [--dir DIR] [--tool PATH]
#
#   --count N     transfers per run (default 1000)
#   --dir DIR     parent folder of the scratch folder (default /dev/shm)
#   --tool PATH   the tls_handshakes program (default build/bench/tls_handshakes)
#
# Only 127.0.0.1 is contacted. nginx and the scratch folder go away on exit.
set -euo pipefail

# shellcheck source-path=SCRIPTDIR source=benchlib.sh
source "$(dirname "$0")/benchlib.sh"

count=1000
parent=/dev/shm
tool="$root/build/bench/tls_handshakes"
while (($#)); do
    case "$1" in
        --count) positive "$1" "${2:-}"; count=$2; shift 2 ;;
        --dir) [[ -d "${2:-}" ]] || die "--dir needs an existing folder"; parent=$2; shift 2 ;;
        --tool) tool=${2:-}; shift 2 ;;
        -h|--help) bench_help 14; exit 0 ;;
        *) die "unknown argument: $1 (try --help)" ;;
    esac
done

bench_check_programs tls_handshakes "$tool"
bench_make_work "$parent" www tmp
bench_make_certificates
bench_start_nginx 64
head -c 8192 /dev/urandom >"$work/www/small.jpg"

cpu_of() { sed -n 's/.*cpu_ms_per_transfer \([0-9.]*\).*/\1/p'; }
plain=$("$tool" "http://127.0.0.1:$port/small.jpg" "$count" | cpu_of)
tls=$("$tool" "https://127.0.0.1:$tls_port/small.jpg" "$count" --ca "$ca_file" | cpu_of)
kept=$("$tool" "https://127.0.0.1:$tls_port/small.jpg" "$count" --ca "$ca_file" --keep | cpu_of)
resumed=$(grep -c '^r' "$work/tls.log" || true)
printf 'client CPU per transfer: plain %s ms, TLS with a resumed handshake %s ms, TLS over a kept connection %s ms\n' \
    "$plain" "$tls" "$kept"
awk -v p="$plain" -v t="$tls" 'BEGIN { printf "client CPU per resumed handshake: %.3f ms\n", t - p }'
echo "resumed handshakes (nginx log): $resumed of $((count + 1))"
