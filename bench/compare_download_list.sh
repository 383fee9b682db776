#!/usr/bin/env bash
# Measures download_list (the download engine without windows) next to curl and
# aria2c against a local nginx, in three cases, and prints the median wall
# time, CPU time and peak memory of every tool and whether each goal was met:
#
#   many small files  N files of 64 KiB, 20 at a time: download_list
#                     --simultaneous 20 against curl --parallel --parallel-max 20,
#                     over plain HTTP and over TLS (there with the share of
#                     download_list's handshakes that resumed a session)
#   one big file      from a location that sends at most 8 MiB/s per connection:
#                     download_list --multi in 10 parts against aria2c -x10 -s10 -k1M
#                     and against one connection (download_list, curl)
#   idle              the resident memory of the engine with its 201 controls
#
#   bash bench/compare_download_list.sh [--files N] [--big-mb N] [--runs N] [--dir DIR]
#                                       [--download-list PATH] [--delay MS] [--no-reuse]
#                                       [--small-only] [--big-only] [--rtt MS] [--small-multi]
#                                       [--no-archive]
#
#   --files N              number of small files (default 2000)
#   --big-mb N             size of the big file in MiB (default 200)
#   --runs N               runs of every tool in every case (default 1)
#   --dir DIR              parent folder of the scratch folder (default /tmp)
#   --download-list PATH   the download_list program (default build/bench/download_list)
#   --delay MS             nginx answers every request for a small file after MS
#                          milliseconds, as a distant server does (needs
#                          libnginx-mod-http-echo); the big file is not delayed
#   --no-reuse             download_list opens a new connection for every transfer
#   --small-only           only the small files (plain and TLS); aria2c not needed
#   --big-only             only the big file (and the idle engine)
#   --no-archive           download_list records no finished file in its archive
#   --rtt MS               every tool goes through bench/delayproxy, which adds MS
#                          milliseconds of round-trip time (plain and TLS)
#   --small-multi          download_list fetches the small files with --multi
#                          (a header probe before each file, as the program does)
#
# Only 127.0.0.1 is contacted. nginx and the scratch folder go away on exit.
set -euo pipefail

# shellcheck source-path=SCRIPTDIR source=benchlib.sh
source "$(dirname "$0")/benchlib.sh"

files=2000
big_mb=200
runs=1
parent=/tmp
download_list="$root/build/bench/download_list"
dl_extra=()
small_extra=()
small_only=
big_only=
rtt=

while (($#)); do
    case "$1" in
        --files) positive "$1" "${2:-}"; files=$2; shift 2 ;;
        --big-mb) positive "$1" "${2:-}"; big_mb=$2; shift 2 ;;
        --runs) positive "$1" "${2:-}"; runs=$2; shift 2 ;;
        --dir) [[ -d "${2:-}" ]] || die "--dir needs an existing folder"; parent=$2; shift 2 ;;
        --download-list) download_list=${2:-}; shift 2 ;;
        --delay) bench_set_delay "$1" "${2:-}"; shift 2 ;;
        --no-reuse) dl_extra+=(--no-reuse); shift ;;
        --small-only) small_only=1; shift ;;
        --big-only) big_only=1; shift ;;
        --no-archive) dl_extra+=(--no-archive); shift ;;
        --rtt) [[ "${2:-}" =~ ^[0-9]+$ ]] || die "--rtt needs milliseconds"; rtt=$2; shift 2 ;;
        --small-multi) small_extra+=(--multi); shift ;;
        -h|--help) bench_help 37; exit 0 ;;
        *) die "unknown argument: $1 (try --help)" ;;
    esac
done

bench_check_programs download_list "$download_list"
bench_need_command curl curl
[[ -n $small_only ]] || bench_need_command aria2c aria2
[[ -z $small_only ]] || big_mb=0
[[ -z $small_only || -z $big_only ]] || die "--small-only and --big-only exclude each other"
[[ -z $big_only ]] || files=0

bench_make_work "$parent" www/small www/limited tmp times
bench_make_certificates
# Every connection gets at most 8 MiB/s below /limited/.
bench_start_nginx 1024 "" "location /limited/ { limit_rate 8m; }"
if [[ -n $rtt ]]; then
    # The tools reach nginx through the delaying proxy only.
    bench_start_delayproxy $((port + 2)) "$port" "$rtt"
    bench_start_delayproxy $((port + 3)) "$tls_port" "$rtt"
    port=$((port + 2))
    tls_port=$((tls_port + 2))
fi
base="http://127.0.0.1:$port"
# download_list puts a file below TARGETDIR/<host>/.
host_dir="127.0.0.1:$port"
tls_base="https://127.0.0.1:$tls_port"
tls_host_dir="127.0.0.1:$tls_port"

echo "Making $files files of 64 KiB and one of $big_mb MiB (random bytes)..." >&2
((files == 0)) || head -c "$((files * 64 * 1024))" /dev/urandom |
    split -b 65536 -a 6 -d - "$work/www/small/f"
head -c "$((big_mb * 1024 * 1024))" /dev/urandom >"$work/www/limited/big.bin"
# The list of small files, and the same as a curl configuration.
for f in "$work"/www/small/f*; do
    [[ -e $f ]] && echo "$base/small/${f##*/}"
done >"$work/small.txt"
awk -v out="$work/out/curl" '{ n = $0; sub(/.*\//, "", n)
    printf "url = \"%s\"\noutput = \"%s/%s\"\n", $0, out, n }' "$work/small.txt" >"$work/small.curl"
sed "s|^$base/|$tls_base/|" "$work/small.txt" >"$work/small_tls.txt"
sed "s|$base/|$tls_base/|" "$work/small.curl" >"$work/small_tls.curl"
echo "$base/limited/big.bin" >"$work/big.txt"
# Ten parts for download_list --multi (20480 KiB for 200 MiB).
part_kb=$(((big_mb * 1024 + 9) / 10))

# timed CASE TOOL COMMAND...: runs the command under GNU time (standard input
# from $stdin_file), keeps its output in $work/stdout.txt and appends
# "wall CPU RSS-MiB" to the case's times.
stdin_file=/dev/null
timed() {
    local case_name=$1 tool=$2
    shift 2
    rm -rf "${work:?}/out" "${work:?}/home"
    mkdir -p "$work/out/curl" "$work/home"
    sync
    if ! bench_time "$@" <"$stdin_file" 2>"$work/stderr.txt"; then
        tail -n 20 "$work/stdout.txt" "$work/stderr.txt" >&2
        die "$tool failed in case $case_name"
    fi
    bench_record "$work/times/$case_name.$tool" "$(printf '%-6s %-20s' "$case_name" "$tool")" 7
}

# expect_summary DONE: download_list's last line must report DONE rows done, none failed.
expect_summary() {
    if ! tail -n 1 "$work/stdout.txt" | grep -q "^rows done $1, rows failed 0, "; then
        tail -n 5 "$work/stdout.txt" "$work/stderr.txt" >&2
        die "download_list did not report $1 rows done"
    fi
}

same_tree() { diff -rq "$work/www/small" "$1" >/dev/null || die "$2: the small files differ"; }
same_big() { cmp -s "$work/www/limited/big.bin" "$1" || die "$2: the big file differs"; }

small_tools=(download_list curl)
big_tools=(download_list_multi aria2c download_list_single curl_single)

echo "Downloading, $runs run(s) of every tool in every case..." >&2
for ((run = 1; run <= runs; run++)); do
    # The tools take turns, so that a slow spell of the machine hits all of them.
    if [[ -z $big_only ]]; then
    stdin_file=$work/small.txt
    timed small download_list "$download_list" "${dl_extra[@]}" "${small_extra[@]}" --home "$work/home" --simultaneous 20 "$work/out"
    expect_summary "$files"
    same_tree "$work/out/$host_dir" download_list
    stdin_file=/dev/null
    timed small curl curl -q -s -f -Z --parallel-max 20 -K "$work/small.curl"
    same_tree "$work/out/curl" curl

    bench_resumed_share >/dev/null
    stdin_file=$work/small_tls.txt
    timed small_tls download_list "$download_list" "${dl_extra[@]}" "${small_extra[@]}" --home "$work/home" --simultaneous 20 \
        --ca "$ca_file" "$work/out"
    expect_summary "$files"
    same_tree "$work/out/$tls_host_dir" download_list
    bench_resumed_share >>"$work/times/small_tls.resumed"
    stdin_file=/dev/null
    timed small_tls curl curl -q -s -f -Z --parallel-max 20 --cacert "$ca_file" \
        -K "$work/small_tls.curl"
    same_tree "$work/out/curl" curl
    fi

    [[ -z $small_only ]] || continue
    stdin_file=$work/big.txt
    timed big download_list_multi "$download_list" "${dl_extra[@]}" --home "$work/home" --multi \
        --part-kb "$part_kb" "$work/out"
    expect_summary 1
    same_big "$work/out/$host_dir/big.bin" download_list_multi
    stdin_file=/dev/null
    timed big aria2c aria2c -q --no-conf -x10 -s10 -k1M --allow-overwrite=true \
        --file-allocation=none --auto-file-renaming=false -d "$work/out" -o big.bin "$base/limited/big.bin"
    same_big "$work/out/big.bin" aria2c
    stdin_file=$work/big.txt
    timed big download_list_single "$download_list" "${dl_extra[@]}" --home "$work/home" "$work/out"
    expect_summary 1
    same_big "$work/out/$host_dir/big.bin" download_list_single
    stdin_file=/dev/null
    timed big curl_single curl -q -s -f -o "$work/out/big.bin" "$base/limited/big.bin"
    same_big "$work/out/big.bin" curl_single

    timed idle download_list "$download_list" "${dl_extra[@]}" --home "$work/home" --idle 2
    grep -o '^rss_kib [0-9]*' "$work/stdout.txt" | awk '{ print $2 / 1024 }' >>"$work/times/idle.rss"
done
rm -rf "${work:?}/out" "${work:?}/home"

echo
printf '127.0.0.1, nginx, small files delayed %d ms; median of %d run(s)\n\n' "$bench_delay_ms" "$runs"
[[ -z $rtt ]] || printf 'every tool through bench/delayproxy, round trip %d ms\n\n' "$rtt"
printf '| %-42s | %-20s | %8s | %7s | %12s |\n' case tool "wall s" "CPU s" "peak RSS MiB"
printf '|%s|%s|---------:|--------:|-------------:|\n' \
    --------------------------------------------  ----------------------
declare -A wall
row() {
    local f="$work/times/$1.$2"
    wall[$1.$2]=$(bench_median 1 "$f")
    printf '| %-42s | %-20s | %8.2f | %7.2f | %12.1f |\n' "$3" "$2" "${wall[$1.$2]}" \
        "$(bench_median 2 "$f")" "$(bench_median 3 "$f")"
}
[[ -n $big_only ]] || {
for tool in "${small_tools[@]}"; do
    row small "$tool" "$files x 64 KiB, 20 at a time"
done
for tool in "${small_tools[@]}"; do
    row small_tls "$tool" "$files x 64 KiB over TLS, 20 at a time"
done
echo
}
[[ -n $small_only ]] || {
for tool in "${big_tools[@]}"; do
    row big "$tool" "$big_mb MiB, 8 MiB/s per connection"
done
row idle download_list "idle engine, 2 s"
idle_rss=$(bench_median 1 "$work/times/idle.rss")
echo
}
[[ -n $small_only ]] && idle_rss=0
awk -v dl="${wall[small.download_list]:-0}" -v cu="${wall[small.curl]:-0}" \
    -v mu="${wall[big.download_list_multi]:-0}" -v ar="${wall[big.aria2c]:-0}" \
    -v si="${wall[big.download_list_single]:-0}" -v rss="$idle_rss" -v delay="$bench_delay_ms" 'BEGIN {
    r = cu > 0 ? dl / cu : 0
    # Against a delayed server the goal is 1.1 times curl.
    goal = delay > 0 ? 1.10 : 1.00
    if (cu > 0) printf "small files: download_list / curl wall %.2fx (goal <= %.2f: %s)\n",
        r, goal, (r <= goal) ? "met" : "missed"
    if (ar == 0) exit
    r = mu / ar
    printf "big file: download_list --multi / aria2c wall %.2fx (goal <= 1.00: %s)\n",
        r, (r <= 1.0) ? "met" : "missed"
    r = mu > 0 ? si / mu : 0
    printf "big file: one connection / download_list --multi wall %.2fx (goal >= 8: %s)\n",
        r, (r >= 8) ? "met" : "missed"
    printf "idle: VmRSS %.1f MiB (goal < 100: %s)\n", rss, (rss < 100) ? "met" : "missed"
}'
[[ -n $big_only ]] && exit 0
awk -v dl="${wall[small_tls.download_list]}" -v cu="${wall[small_tls.curl]}" 'BEGIN {
    r = cu > 0 ? dl / cu : 0
    printf "small files over TLS: download_list / curl wall %.2fx (goal <= 1.50: %s)\n",
        r, (r <= 1.5) ? "met" : "missed"
}'
echo "small files over TLS: download_list's resumed handshakes, per run: $(paste -sd, "$work/times/small_tls.resumed")"
