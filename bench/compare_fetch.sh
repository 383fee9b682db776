#!/usr/bin/env bash
# Downloads one large file from a local nginx with fetch_one (the Quarvel
# control), curl, wget and aria2c, several times each, then fetch_one and curl
# over TLS from the same nginx, and prints the median wall time, CPU time and
# peak memory of every tool next to curl's.
#
#   bash bench/compare_fetch.sh [--size-mb N] [--runs N] [--dir DIR] [--fetch-one PATH]
#
#   --size-mb N       size of the served file in MiB (default 1024)
#   --runs N          downloads per tool (default 3)
#   --dir DIR         parent folder of the scratch folder (default /tmp); the
#                     served file and the downloads live side by side in it
#   --fetch-one PATH  the fetch_one program (default build/bench/fetch_one)
#
# Only 127.0.0.1 is contacted. nginx and the scratch folder go away on exit.
set -euo pipefail

# shellcheck source-path=SCRIPTDIR source=benchlib.sh
source "$(dirname "$0")/benchlib.sh"

size_mb=1024
runs=3
parent=/tmp
fetch_one="$root/build/bench/fetch_one"

while (($#)); do
    case "$1" in
        --size-mb) positive "$1" "${2:-}"; size_mb=$2; shift 2 ;;
        --runs) positive "$1" "${2:-}"; runs=$2; shift 2 ;;
        --dir) [[ -d "${2:-}" ]] || die "--dir needs an existing folder"; parent=$2; shift 2 ;;
        --fetch-one) fetch_one=${2:-}; shift 2 ;;
        -h|--help) bench_help 14; exit 0 ;;
        *) die "unknown argument: $1 (try --help)" ;;
    esac
done

bench_check_programs fetch_one "$fetch_one"
bench_need_command curl curl
bench_need_command wget wget
tools=(fetch_one curl wget)
if command -v aria2c >/dev/null; then
    tools+=(aria2c)
else
    echo "compare_fetch: aria2c not installed (apt-get install aria2); skipped" >&2
fi

bench_make_work "$parent" www out tmp times
bench_make_certificates
bench_start_nginx 64

echo "Making a $size_mb MiB file of random bytes..." >&2
head -c "$((size_mb * 1024 * 1024))" /dev/urandom >"$work/www/data.bin"
url="http://127.0.0.1:$port/data.bin"
tls_url="https://127.0.0.1:$tls_port/data.bin"
tools+=(fetch_one_tls curl_tls)
out="$work/out/data.bin"

# command_of TOOL: sets cmd to the command line of one download of the file to $out.
command_of() {
    case "$1" in
        fetch_one) cmd=("$fetch_one" "$url" "$out" --quiet-progress) ;;
        curl) cmd=(curl -q -s -o "$out" "$url") ;;
        wget) cmd=(wget -q --no-config -O "$out" "$url") ;;
        aria2c) cmd=(aria2c -q --no-conf -x1 -s1 --allow-overwrite=true --file-allocation=none
                     --auto-file-renaming=false -d "$work/out" -o data.bin "$url") ;;
        fetch_one_tls) cmd=("$fetch_one" "$tls_url" "$out" --quiet-progress --ca "$ca_file") ;;
        curl_tls) cmd=(curl -q -s --cacert "$ca_file" -o "$out" "$tls_url") ;;
    esac
}

# One untimed download first: the first pass over a freshly written file runs
# markedly slower on some machines, and that should not fall on the first tool.
curl -q -s -o "$out" "$url" || die "the warm-up download failed"
cmp -s "$work/www/data.bin" "$out" || die "the warm-up download differs from the served file"

echo "Downloading $url with ${tools[*]}, $runs runs each..." >&2
for ((run = 1; run <= runs; run++)); do
    # The tools take turns, so that a slow spell of the machine hits all of them.
    for tool in "${tools[@]}"; do
        rm -f "$out"
        sync
        command_of "$tool"
        if ! bench_time "${cmd[@]}"; then
            cat "$work/stdout.txt" >&2
            die "$tool failed in run $run"
        fi
        if [[ $tool == fetch_one* ]] && ! grep -qx Finished "$work/stdout.txt"; then
            cat "$work/stdout.txt" >&2
            die "fetch_one did not report Finished in run $run"
        fi
        cmp -s "$work/www/data.bin" "$out" || die "$tool: the download differs from the served file"
        bench_record "$work/times/$tool" "$(printf 'run %d %-9s' "$run" "$tool")"
    done
    rm -f "$out"
done

echo
printf '%s MiB file over 127.0.0.1, median of %d runs\n\n' "$size_mb" "$runs"
bench_tool_table 13 "${tools[@]}"
echo
awk -v fw="${wall[fetch_one]}" -v cw="${wall[curl]}" -v fc="${cpu[fetch_one]}" \
    -v cc="${cpu[curl]}" -v fr="${rss[fetch_one]}" 'BEGIN {
    rw = cw > 0 ? fw / cw : 0; rc = cc > 0 ? fc / cc : 0
    printf "fetch_one / curl: wall %.2fx (goal <= 1.00: %s), CPU %.2fx (goal <= 1.30: %s)\n",
        rw, rw <= 1.0 ? "met" : "missed", rc, rc <= 1.3 ? "met" : "missed"
    printf "fetch_one peak RSS: %.1f MiB (goal < 64: %s)\n", fr, fr < 64 ? "met" : "missed"
}'
awk -v fw="${wall[fetch_one_tls]}" -v cw="${wall[curl_tls]}" 'BEGIN {
    rw = cw > 0 ? fw / cw : 0
    printf "over TLS, fetch_one / curl: wall %.2fx (goal <= 1.10: %s)\n", rw, rw <= 1.1 ? "met" : "missed"
}'
