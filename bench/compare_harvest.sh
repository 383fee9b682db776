#!/usr/bin/env bash
# Harvests a generated site of 521 pages and 4000 pictures from a local nginx
# with the harvest tool (crawl, then 20 downloads at a time) and with
# wget -r, several times each; checks that both got every picture and prints
# the median wall time, CPU time and peak memory, and harvest's wall time
# against wget's.
#
#   bash bench/compare_harvest.sh [--runs N] [--dir DIR] [--harvest PATH]
#
#   --runs N        harvests per tool (default 3)
#   --dir DIR       parent folder of the scratch folder (default /tmp); the
#                   site and the downloads live side by side in it
#   --harvest PATH  the harvest program (default build/bench/harvest)
#
# Only 127.0.0.1 is contacted. nginx and the scratch folder go away on exit.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")

runs=3
parent=/tmp
harvest="$root/build/bench/harvest"
nginx=/usr/sbin/nginx
gnu_time=/usr/bin/time

# The site: an index page linking the section pages, each linking its gallery
# pages, each showing its pictures (relative links throughout; every gallery
# also links back to its section and to the index).
sections=20
galleries=25
pictures=8
expected=$((sections * galleries * pictures))
pages=$((1 + sections + sections * galleries))

die() { echo "compare_harvest: $*" >&2; exit 1; }
positive() { [[ "$2" =~ ^[1-9][0-9]*$ ]] || die "$1 needs a positive whole number"; }

while (($#)); do
    case "$1" in
        --runs) positive "$1" "${2:-}"; runs=$2; shift 2 ;;
        --dir) [[ -d "${2:-}" ]] || die "--dir needs an existing folder"; parent=$2; shift 2 ;;
        --harvest) harvest=${2:-}; shift 2 ;;
        -h|--help) sed -n '2,15s/^# \{0,1\}//p' "$0"; exit 0 ;;
        *) die "unknown argument: $1 (try --help)" ;;
    esac
done

[[ -x "$harvest" ]] || die "no harvest at $harvest: build it first
  (cmake -S . -B build && cmake --build build --target harvest)"
[[ -x "$nginx" ]] || die "no $nginx: apt-get install nginx-light"
[[ -x "$gnu_time" ]] || die "no GNU time at $gnu_time: apt-get install time"
command -v wget >/dev/null || die "no wget: apt-get install wget"
tools=(harvest wget)

# Nothing may go through a proxy.
unset http_proxy HTTP_PROXY https_proxy HTTPS_PROXY all_proxy ALL_PROXY no_proxy NO_PROXY

work=$(mktemp -d "$parent/compare_harvest.XXXXXX")
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
mkdir -p "$work/www" "$work/out" "$work/home" "$work/tmp" "$work/times"

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
events { worker_connections 256; }
http {
    access_log off;
    sendfile on;
    types { text/html html; image/jpeg jpg; }
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

echo "Making a site of $pages pages and $expected pictures..." >&2
awk -v root="$work/www" -v sections="$sections" -v galleries="$galleries" \
    -v pictures="$pictures" 'BEGIN {
    srand(7)
    index_html = root "/index.html"
    print "<html><head><title>Galleries</title></head><body>" >index_html
    for (s = 1; s <= sections; s++) {
        sdir = sprintf("s%02d", s)
        system("mkdir -p " root "/" sdir "/img")
        printf "<a href=\"%s/index.html\">Section %d</a><br>\n", sdir, s >>index_html
        shtml = root "/" sdir "/index.html"
        print "<html><body><a href=\"../index.html\">up</a><br>" >shtml
        for (g = 1; g <= galleries; g++) {
            gname = sprintf("g%02d.html", g)
            printf "<a href=\"%s\">Gallery %d</a><br>\n", gname, g >>shtml
            ghtml = root "/" sdir "/" gname
            print "<html><body><a href=\"index.html\">section</a> <a href=\"../index.html\">index</a><br>" >ghtml
            for (p = 1; p <= pictures; p++) {
                name = sprintf("s%02dg%02dp%d.jpg", s, g, p)
                printf "<img src=\"img/%s\" alt=\"%s\">\n", name, name >>ghtml
                # File name and size (2 to 8 KiB): the shell below fills it.
                print sdir "/img/" name, 2048 + int(rand() * 6145)
            }
            print "</body></html>" >>ghtml
            close(ghtml)
        }
        print "</body></html>" >>shtml
        close(shtml)
    }
    print "</body></html>" >>index_html
}' >"$work/pictures.txt"
while read -r name size; do
    head -c "$size" /dev/urandom >"$work/www/$name"
done <"$work/pictures.txt"
[[ $(find "$work/www" -name '*.jpg' | wc -l) -eq $expected ]] || die "the site has not $expected pictures"

url="http://127.0.0.1:$port/index.html"
out="$work/out"

# command_of TOOL: sets cmd to the command line of one harvest of the site into $out.
command_of() {
    case "$1" in
        harvest) cmd=("$harvest" "$url" "$out" --depth 3 --download 20 --no-unique --no-multi
                      --min-kb 0 --home "$work/home") ;;
        wget) cmd=(wget --no-config -r -l3 -A "jpg,html" -nv -P "$out" "$url") ;;
    esac
}

# One untimed wget run first, so that nginx and the page cache are warm for
# the first timed tool.
command_of wget
"${cmd[@]}" 2>/dev/null || die "the warm-up harvest with wget failed"

echo "Harvesting $url with ${tools[*]}, $runs runs each..." >&2
for ((run = 1; run <= runs; run++)); do
    # The tools take turns, so that a slow spell of the machine hits all of them.
    for tool in "${tools[@]}"; do
        rm -rf "$out" "${work:?}/home"
        mkdir -p "$out" "$work/home"
        sync
        command_of "$tool"
        if ! "$gnu_time" -f '%e %U %S %M' -o "$work/time.txt" "${cmd[@]}" \
            >"$work/stdout.txt" 2>"$work/stderr.txt"; then
            tail -n 20 "$work/stderr.txt" "$work/stdout.txt" >&2
            die "$tool failed in run $run"
        fi
        got=$(find "$out" -name '*.jpg' -type f | wc -l)
        ((got == expected)) || die "$tool got $got pictures of $expected in run $run"
        if [[ $tool == harvest ]]; then
            summary=$(tail -n 1 "$work/stdout.txt")
            [[ $summary == "pages $pages, rows $expected, done $expected, failed 0,"* ]] ||
                die "harvest: unexpected summary in run $run: $summary"
            echo "  $summary; $(grep '^harvest: crawl' "$work/stderr.txt" || true)" >&2
        fi
        read -r t_wall t_user t_sys t_rss <"$work/time.txt"
        # One line per run: wall s, CPU s (user + system), peak RSS MiB.
        awk -v w="$t_wall" -v u="$t_user" -v s="$t_sys" -v k="$t_rss" \
            'BEGIN { print w, u + s, k / 1024 }' >>"$work/times/$tool"
        printf '  run %d %-8s wall %6.2f s  user %6.2f s  sys %6.2f s  peak %7.1f MiB\n' \
            "$run" "$tool" "$t_wall" "$t_user" "$t_sys" "$(awk -v k="$t_rss" 'BEGIN { print k / 1024 }')" >&2
    done
done
rm -rf "$out" "${work:?}/home"

# median COLUMN FILE: the median of one column of the per-run lines.
median() {
    awk -v c="$1" '{ print $c }' "$2" | sort -g | awk '{ v[NR] = $1 }
        END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

echo
printf '%d pages, %d pictures of 2-8 KiB over 127.0.0.1, median of %d runs\n\n' \
    "$pages" "$expected" "$runs"
printf '| %-8s | %10s | %9s | %13s |\n' tool "wall s" "CPU s" "peak RSS MiB"
printf '|----------|-----------:|----------:|--------------:|\n'
declare -A wall cpu rss
for tool in "${tools[@]}"; do
    wall[$tool]=$(median 1 "$work/times/$tool")
    cpu[$tool]=$(median 2 "$work/times/$tool")
    rss[$tool]=$(median 3 "$work/times/$tool")
    printf '| %-8s | %10.2f | %9.2f | %13.1f |\n' "$tool" "${wall[$tool]}" "${cpu[$tool]}" "${rss[$tool]}"
done
echo
awk -v hw="${wall[harvest]}" -v ww="${wall[wget]}" 'BEGIN {
    r = ww > 0 ? hw / ww : 0
    printf "harvest / wget: wall %.2fx (goal <= 0.50: %s)\n", r, r <= 0.5 ? "met" : "missed"
}'
