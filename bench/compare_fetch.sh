#!/usr/bin/env bash
# Downloads one large file from a local nginx with fetch_one (the Quarvel
# control), curl, wget and aria2c, several times each, and prints the median
# wall time, CPU time and peak memory of every tool next to curl's.
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

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")

size_mb=1024
runs=3
parent=/tmp
fetch_one="$root/build/bench/fetch_one"
nginx=/usr/sbin/nginx
gnu_time=/usr/bin/time

die() { echo "compare_fetch: $*" >&2; exit 1; }
positive() { [[ "$2" =~ ^[1-9][0-9]*$ ]] || die "$1 needs a positive whole number"; }

while (($#)); do
    case "$1" in
        --size-mb) positive "$1" "${2:-}"; size_mb=$2; shift 2 ;;
        --runs) positive "$1" "${2:-}"; runs=$2; shift 2 ;;
        --dir) [[ -d "${2:-}" ]] || die "--dir needs an existing folder"; parent=$2; shift 2 ;;
        --fetch-one) fetch_one=${2:-}; shift 2 ;;
        -h|--help) sed -n '2,13s/^# \{0,1\}//p' "$0"; exit 0 ;;
        *) die "unknown argument: $1 (try --help)" ;;
    esac
done

[[ -x "$fetch_one" ]] || die "no fetch_one at $fetch_one: build it first
  (cmake -S . -B build && cmake --build build --target fetch_one)"
[[ -x "$nginx" ]] || die "no $nginx: apt-get install nginx-light"
[[ -x "$gnu_time" ]] || die "no GNU time at $gnu_time: apt-get install time"
command -v curl >/dev/null || die "no curl: apt-get install curl"
command -v wget >/dev/null || die "no wget: apt-get install wget"
tools=(fetch_one curl wget)
if command -v aria2c >/dev/null; then
    tools+=(aria2c)
else
    echo "compare_fetch: aria2c not installed (apt-get install aria2); skipped" >&2
fi

# Nothing may go through a proxy.
unset http_proxy HTTP_PROXY https_proxy HTTPS_PROXY all_proxy ALL_PROXY no_proxy NO_PROXY

work=$(mktemp -d "$parent/compare_fetch.XXXXXX")
nginx_pid=
cleanup() {
    if [[ -n "$nginx_pid" ]]; then
        kill "$nginx_pid" 2>/dev/null || true
        wait "$nginx_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
mkdir -p "$work/www" "$work/out" "$work/tmp" "$work/times"

# True when something already listens on the port.
port_taken() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

start_nginx() {
    local port=$1
    {
        ((EUID == 0)) && echo "user root;"
        cat <<EOF
daemon off;
master_process off;
worker_processes 1;
pid $work/nginx.pid;
error_log $work/error.log warn;
events { worker_connections 64; }
http {
    access_log off;
    sendfile on;
    default_type application/octet-stream;
    client_body_temp_path $work/tmp/body;
    proxy_temp_path $work/tmp/proxy;
    fastcgi_temp_path $work/tmp/fastcgi;
    uwsgi_temp_path $work/tmp/uwsgi;
    scgi_temp_path $work/tmp/scgi;
    server {
        listen 127.0.0.1:$port;
        root $work/www;
    }
}
EOF
    } >"$work/nginx.conf"
    "$nginx" -p "$work" -c "$work/nginx.conf" -e "$work/error.log" &
    nginx_pid=$!
    local i
    for ((i = 0; i < 100; i++)); do
        kill -0 "$nginx_pid" 2>/dev/null || break
        if port_taken "$port"; then return 0; fi
        sleep 0.05
    done
    kill "$nginx_pid" 2>/dev/null || true
    wait "$nginx_pid" 2>/dev/null || true
    nginx_pid=
    return 1
}

port=
for ((try = 0; try < 20; try++)); do
    candidate=$((20000 + RANDOM % 40000))
    port_taken "$candidate" && continue
    if start_nginx "$candidate"; then port=$candidate; break; fi
done
[[ -n "$port" ]] || die "nginx did not start: $(tail -c 600 "$work/error.log" 2>/dev/null)"

echo "Making a $size_mb MiB file of random bytes..." >&2
head -c "$((size_mb * 1024 * 1024))" /dev/urandom >"$work/www/data.bin"
url="http://127.0.0.1:$port/data.bin"
out="$work/out/data.bin"

# command_of TOOL: sets cmd to the command line of one download of the file to $out.
command_of() {
    case "$1" in
        fetch_one) cmd=("$fetch_one" "$url" "$out" --quiet-progress) ;;
        curl) cmd=(curl -q -s -o "$out" "$url") ;;
        wget) cmd=(wget -q --no-config -O "$out" "$url") ;;
        aria2c) cmd=(aria2c -q --no-conf -x1 -s1 --allow-overwrite=true --file-allocation=none
                     --auto-file-renaming=false -d "$work/out" -o data.bin "$url") ;;
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
        if ! "$gnu_time" -f '%e %U %S %M' -o "$work/time.txt" "${cmd[@]}" >"$work/stdout.txt"; then
            cat "$work/stdout.txt" >&2
            die "$tool failed in run $run"
        fi
        if [[ $tool == fetch_one ]] && ! grep -qx Finished "$work/stdout.txt"; then
            cat "$work/stdout.txt" >&2
            die "fetch_one did not report Finished in run $run"
        fi
        cmp -s "$work/www/data.bin" "$out" || die "$tool: the download differs from the served file"
        read -r t_wall t_user t_sys t_rss <"$work/time.txt"
        # One line per run: wall s, CPU s (user + system), peak RSS MiB.
        awk -v w="$t_wall" -v u="$t_user" -v s="$t_sys" -v k="$t_rss" \
            'BEGIN { print w, u + s, k / 1024 }' >>"$work/times/$tool"
        printf '  run %d %-9s wall %6.2f s  user %6.2f s  sys %6.2f s  peak %7.1f MiB\n' \
            "$run" "$tool" "$t_wall" "$t_user" "$t_sys" "$(awk -v k="$t_rss" 'BEGIN { print k / 1024 }')" >&2
    done
    rm -f "$out"
done

# median COLUMN FILE: the median of one column of the per-run lines.
median() {
    awk -v c="$1" '{ print $c }' "$2" | sort -g | awk '{ v[NR] = $1 }
        END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

echo
printf '%s MiB file over 127.0.0.1, median of %d runs\n\n' "$size_mb" "$runs"
printf '| %-9s | %10s | %9s | %13s |\n' tool "wall s" "CPU s" "peak RSS MiB"
printf '|-----------|-----------:|----------:|--------------:|\n'
declare -A wall cpu rss
for tool in "${tools[@]}"; do
    wall[$tool]=$(median 1 "$work/times/$tool")
    cpu[$tool]=$(median 2 "$work/times/$tool")
    rss[$tool]=$(median 3 "$work/times/$tool")
    printf '| %-9s | %10.2f | %9.2f | %13.1f |\n' "$tool" "${wall[$tool]}" "${cpu[$tool]}" "${rss[$tool]}"
done
echo
awk -v fw="${wall[fetch_one]}" -v cw="${wall[curl]}" -v fc="${cpu[fetch_one]}" \
    -v cc="${cpu[curl]}" -v fr="${rss[fetch_one]}" 'BEGIN {
    rw = cw > 0 ? fw / cw : 0; rc = cc > 0 ? fc / cc : 0
    printf "fetch_one / curl: wall %.2fx (goal <= 1.00: %s), CPU %.2fx (goal <= 1.30: %s)\n",
        rw, rw <= 1.0 ? "met" : "missed", rc, rc <= 1.3 ? "met" : "missed"
    printf "fetch_one peak RSS: %.1f MiB (goal < 64: %s)\n", fr, fr < 64 ? "met" : "missed"
}'
