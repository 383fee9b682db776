# shellcheck shell=bash
# benchlib.sh: what the comparison scripts of this folder share; each sources
# it right after `set -euo pipefail`. It gives a scratch folder that goes away
# on exit, nginx serving that folder on a free 127.0.0.1 port, commands timed
# with GNU time, medians of the runs and the table of the tools.
#
# Globals it sets: root (the repository), nginx and gnu_time (the programs
# used), work (the scratch folder), port (nginx's port), tls_port and ca_file
# (after bench_make_certificates: nginx's TLS port and the test authority
# that signed its certificate), t_wall t_user t_sys t_rss (the last timed
# run) and the arrays wall cpu rss (bench_tool_table).

# The script's name without ".sh", in front of its error messages.
bench_name=$(basename "$0" .sh)
bench_here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck disable=SC2034 # the scripts' default program paths start here
root=$(dirname "$bench_here")
nginx=/usr/sbin/nginx
gnu_time=/usr/bin/time
work=
port=
tls_port=
ca_file=
bench_nginx_pid=
# Milliseconds nginx waits before answering each request (bench_set_delay).
bench_delay_ms=0
bench_echo_module=/usr/lib/nginx/modules/ngx_http_echo_module.so
# The delaying proxy (bench_start_delayproxy) and the ones started.
bench_delayproxy="$root/build/bench/delayproxy"
bench_proxy_pids=()

# die MESSAGE: says MESSAGE on standard error after the script's name and exits 1.
die() { echo "$bench_name: $*" >&2; exit 1; }

# positive OPTION VALUE: dies unless VALUE is a positive whole number.
positive() { [[ "$2" =~ ^[1-9][0-9]*$ ]] || die "$1 needs a positive whole number"; }

# bench_help LAST: prints the script's head comment, lines 2 to LAST, as its help.
bench_help() { sed -n "2,${1}s/^# \{0,1\}//p" "$0"; }

# bench_check_programs NAME PATH: dies unless the program NAME built from this
# repository is at PATH and nginx and GNU time are installed.
bench_check_programs() {
    [[ -x "$2" ]] || die "no $1 at $2: build it first
  (cmake -S . -B build && cmake --build build --target $1)"
    [[ -x "$nginx" ]] || die "no $nginx: apt-get install nginx-light"
    [[ -x "$gnu_time" ]] || die "no GNU time at $gnu_time: apt-get install time"
}

# bench_need_command COMMAND PACKAGE: dies unless COMMAND is on the PATH.
bench_need_command() { command -v "$1" >/dev/null || die "no $1: apt-get install $2"; }

# bench_set_delay OPTION MS: nginx started from now on answers every request
# below / (not the scripts' own locations) after MS milliseconds, as a real
# server far away does; 0 answers at once. Uses the echo module's echo_sleep
# (Debian's libnginx-mod-http-echo); dies when it is missing.
bench_set_delay() {
    [[ "$2" =~ ^[0-9]+$ ]] || die "$1 needs a whole number of milliseconds"
    bench_delay_ms=$2
    ((bench_delay_ms == 0)) || [[ -f "$bench_echo_module" ]] ||
        die "no $bench_echo_module: apt-get install libnginx-mod-http-echo"
}

# bench_make_work PARENT SUBFOLDER...: keeps every tool off any proxy, makes
# the scratch folder work below PARENT with the given subfolders, and has
# nginx stopped and the folder removed when the script ends.
bench_make_work() {
    local parent=$1 sub
    shift
    # Nothing may go through a proxy.
    unset http_proxy HTTP_PROXY https_proxy HTTPS_PROXY all_proxy ALL_PROXY no_proxy NO_PROXY
    # The system's trusted certificates as a desktop has them: a container may
    # point OpenSSL at its bundle file, which is then parsed whole at the
    # first secure connection (about 25 ms). The other tools are given the
    # test authority alone.
    unset SSL_CERT_FILE SSL_CERT_DIR
    work=$(mktemp -d "$parent/$bench_name.XXXXXX")
    trap bench_cleanup EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
    for sub; do
        mkdir -p "$work/$sub"
    done
}

# bench_cleanup: the exit trap; stops nginx and removes the scratch folder.
bench_cleanup() {
    local pid
    for pid in "${bench_proxy_pids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    bench_stop_nginx
    rm -rf "$work"
}

# bench_stop_nginx: stops the nginx of bench_start_nginx, if it runs.
bench_stop_nginx() {
    if [[ -n "$bench_nginx_pid" ]]; then
        kill "$bench_nginx_pid" 2>/dev/null || true
        wait "$bench_nginx_pid" 2>/dev/null || true
    fi
    bench_nginx_pid=
}

# bench_start_delayproxy LISTEN TARGET RTT_MS: starts bench/delayproxy, which
# forwards 127.0.0.1:LISTEN to TARGET holding all data half of RTT_MS each way
# (a new connection's first bytes one round trip more); it stops on exit.
bench_start_delayproxy() {
    local i
    [[ -x "$bench_delayproxy" ]] || die "no delayproxy at $bench_delayproxy: build it first"
    bench_port_taken "$1" && die "port $1 is taken"
    "$bench_delayproxy" "$1" "$2" "$3" >/dev/null &
    bench_proxy_pids+=($!)
    for ((i = 0; i < 100; i++)); do
        bench_port_taken "$1" && return 0
        sleep 0.05
    done
    die "delayproxy did not start on port $1"
}

# bench_port_taken PORT: true when something already listens on the port.
bench_port_taken() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

# bench_make_certificates: makes a test authority ($work/tls/ca.pem, set in
# ca_file) and a certificate for 127.0.0.1 signed by it, with the openssl
# tool; bench_start_nginx then also serves the folder over TLS on tls_port
# and logs every TLS request with whether its session was resumed
# (bench_resumed_share).
bench_make_certificates() {
    local d=$work/tls
    bench_need_command openssl openssl
    mkdir -p "$d"
    printf '[req]\ndistinguished_name = dn\nprompt = no\n[dn]\nCN = unused\n[ca]\nbasicConstraints = critical,CA:TRUE\nkeyUsage = critical,keyCertSign,cRLSign\n[server]\nbasicConstraints = CA:FALSE\nextendedKeyUsage = serverAuth\nsubjectAltName = IP:127.0.0.1,DNS:localhost\n' >"$d/openssl.cnf"
    local ec=(-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes)
    openssl req -config "$d/openssl.cnf" -x509 "${ec[@]}" -keyout "$d/ca.key" -out "$d/ca.pem" \
        -days 2 -subj "/CN=Benchmark Authority" -extensions ca 2>/dev/null &&
        openssl req -config "$d/openssl.cnf" -new "${ec[@]}" -keyout "$d/server.key" \
            -out "$d/server.csr" -subj "/CN=127.0.0.1" 2>/dev/null &&
        openssl x509 -req -in "$d/server.csr" -CA "$d/ca.pem" -CAkey "$d/ca.key" -set_serial 2 \
            -days 2 -extfile "$d/openssl.cnf" -extensions server -out "$d/server.pem" 2>/dev/null ||
        die "openssl could not make the test certificates"
    ca_file=$d/ca.pem
}

# bench_resumed_share: "R of N": of the N requests nginx served over TLS
# since the last call, R came over a connection that resumed a TLS session;
# then empties the log. The tools of this repository open one connection per
# request, so for them it is R of N handshakes.
bench_resumed_share() {
    local log=$work/tls.log
    [[ -f $log ]] || { echo "0 of 0"; return; }
    # Plain requests log "-".
    awk '$1 == "r" { r++ } $1 == "r" || $1 == "." { n++ } END { printf "%d of %d\n", r, n }' "$log"
    : >"$log"
}

# bench_start_nginx CONNECTIONS [HTTP_DIRECTIVES [SERVER_DIRECTIVES]]: starts
# nginx on a free 127.0.0.1 port, serving $work/www with CONNECTIONS worker
# connections and the extra directives in its http and server blocks; sets
# port (and tls_port after bench_make_certificates), or dies with the end of
# nginx's error log.
bench_start_nginx() {
    local try candidate
    port=
    for ((try = 0; try < 20; try++)); do
        candidate=$((20000 + RANDOM % 40000))
        bench_port_taken "$candidate" && continue
        bench_port_taken "$((candidate + 1))" && continue
        if bench_try_nginx "$candidate" "$@"; then
            port=$candidate
            return 0
        fi
    done
    die "nginx did not start: $(tail -c 600 "$work/error.log" 2>/dev/null)"
}

# bench_try_nginx PORT CONNECTIONS [HTTP_DIRECTIVES [SERVER_DIRECTIVES]]: one
# attempt of bench_start_nginx on PORT; fails when nginx is not listening
# after 5 s.
bench_try_nginx() {
    local port=$1 connections=$2 http_directives=${3:-} server_directives=${4:-} i tls=
    if ((bench_delay_ms > 0)); then
        # The delay, then the file as the static module serves it (ranges,
        # HEAD and all).
        server_directives+="
        location / { echo_sleep $(awk -v ms="$bench_delay_ms" 'BEGIN { printf "%.3f", ms / 1000 }'); echo_exec @files; }
        location @files { }"
    fi
    if [[ -n $ca_file ]]; then
        tls_port=$((port + 1))
        tls="listen 127.0.0.1:$tls_port ssl;
        ssl_certificate $work/tls/server.pem;
        ssl_certificate_key $work/tls/server.key;
        access_log $work/tls.log tls;"
        http_directives="log_format tls '\$ssl_session_reused';
    $http_directives"
    fi
    {
        ((bench_delay_ms > 0)) && echo "load_module $bench_echo_module;"
        ((EUID == 0)) && echo "user root;"
        cat <<EOF
daemon off;
master_process off;
worker_processes 1;
pid $work/nginx.pid;
error_log $work/error.log warn;
events { worker_connections $connections; }
http {
    access_log off;
    sendfile on;
    $http_directives
    default_type application/octet-stream;
    client_body_temp_path $work/tmp/body;
    proxy_temp_path $work/tmp/proxy;
    fastcgi_temp_path $work/tmp/fastcgi;
    uwsgi_temp_path $work/tmp/uwsgi;
    scgi_temp_path $work/tmp/scgi;
    server {
        listen 127.0.0.1:$port;
        $tls
        root $work/www;
        $server_directives
    }
}
EOF
    } >"$work/nginx.conf"
    "$nginx" -p "$work" -c "$work/nginx.conf" -e "$work/error.log" &
    bench_nginx_pid=$!
    for ((i = 0; i < 100; i++)); do
        kill -0 "$bench_nginx_pid" 2>/dev/null || break
        if bench_port_taken "$port" && { [[ -z $tls ]] || bench_port_taken "$tls_port"; }; then
            return 0
        fi
        sleep 0.05
    done
    bench_stop_nginx
    return 1
}

# bench_time CMD...: runs CMD under GNU time with its standard output in
# $work/stdout.txt (standard input and error as the caller redirects them) and
# sets t_wall, t_user, t_sys (seconds) and t_rss (peak resident KiB); fails
# when CMD fails.
bench_time() {
    "$gnu_time" -f '%e %U %S %M' -o "$work/time.txt" "$@" >"$work/stdout.txt" || return
    read -r t_wall t_user t_sys t_rss <"$work/time.txt"
}

# bench_record TIMES_FILE LABEL [WALL_WIDTH]: appends the last bench_time run
# to TIMES_FILE as "wall-s CPU-s peak-RSS-MiB" (CPU = user + system) and
# reports it on standard error as "  LABEL wall ...", the wall time
# WALL_WIDTH characters wide (default 6).
bench_record() {
    local wall_text
    printf -v wall_text '%.2f' "$t_wall"
    awk -v w="$t_wall" -v u="$t_user" -v s="$t_sys" -v k="$t_rss" \
        'BEGIN { print w, u + s, k / 1024 }' >>"$1"
    printf '  %s wall %*s s  user %6.2f s  sys %6.2f s  peak %7.1f MiB\n' \
        "$2" "${3:-6}" "$wall_text" "$t_user" "$t_sys" \
        "$(awk -v k="$t_rss" 'BEGIN { print k / 1024 }')" >&2
}

# bench_median COLUMN FILE: the median of one column of the per-run lines.
bench_median() {
    awk -v c="$1" '{ print $c }' "$2" | sort -g | awk '{ v[NR] = $1 }
        END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# bench_tool_table WIDTH TOOL...: prints the table of the tools' medians of
# wall time, CPU time and peak memory ($work/times/TOOL), the tool column
# WIDTH characters wide, and keeps the medians in wall, cpu and rss by tool.
bench_tool_table() {
    local width=$1 tool dashes
    shift
    declare -gA wall cpu rss
    printf -v dashes '%*s' $((width + 2)) ''
    printf '| %-*s | %10s | %9s | %13s |\n' "$width" tool "wall s" "CPU s" "peak RSS MiB"
    printf '|%s|-----------:|----------:|--------------:|\n' "${dashes// /-}"
    for tool; do
        wall[$tool]=$(bench_median 1 "$work/times/$tool")
        cpu[$tool]=$(bench_median 2 "$work/times/$tool")
        rss[$tool]=$(bench_median 3 "$work/times/$tool")
        printf '| %-*s | %10.2f | %9.2f | %13.1f |\n' "$width" "$tool" "${wall[$tool]}" \
            "${cpu[$tool]}" "${rss[$tool]}"
    done
}
