#!/usr/bin/env bash
# Harvests a generated site of 521 pages and 4000 pictures from a local nginx
# with the harvest tool (crawl, then 20 downloads at a time) and with
# wget -r, several times each, over plain HTTP and over TLS; checks that
# every run got every picture and prints the median wall time, CPU time and
# peak memory, harvest's wall time against wget's, and the share of
# harvest's TLS handshakes that resumed a session.
#
#   bash bench/compare_harvest.sh [--runs N] [--dir DIR] [--harvest PATH]
#                                 [--delay MS] [--small] [--no-reuse] [--rtt MS]
#                                 [--archive-entries N] [--no-archive]
#
#   --runs N        harvests per tool (default 3)
#   --delay MS      nginx answers every request after MS milliseconds, as a
#                   distant server does (needs libnginx-mod-http-echo)
#   --small         a site of 67 pages and 480 pictures instead
#   --dir DIR       parent folder of the scratch folder (default /tmp); the
#                   site and the downloads live side by side in it
#   --harvest PATH  the harvest program (default build/bench/harvest)
#   --no-reuse      harvest opens a new connection for every transfer
#   --rtt MS        the timed runs go through bench/delayproxy, which adds MS
#                   milliseconds of round-trip time (plain and TLS)
#   --archive-entries N  instead: times the crawl alone (no downloads, plain
#                   HTTP) with --no-skip-downloaded against the crawl that
#                   asks an archive of N entries of other addresses (filled
#                   with the sqlite3 program) for every picture
#   --no-archive    harvest keeps no archive of finished downloads
#
# Only 127.0.0.1 is contacted. nginx and the scratch folder go away on exit.
set -euo pipefail

# shellcheck source-path=SCRIPTDIR source=benchlib.sh
source "$(dirname "$0")/benchlib.sh"

runs=3
parent=/tmp
harvest="$root/build/bench/harvest"
harvest_extra=()
rtt=
archive_entries=

# The site: an index page linking the section pages, each linking its gallery
# pages, each showing its pictures (relative links throughout; every gallery
# also links back to its section and to the index).
sections=20
galleries=25
pictures=8

while (($#)); do
    case "$1" in
        --runs) positive "$1" "${2:-}"; runs=$2; shift 2 ;;
        --dir) [[ -d "${2:-}" ]] || die "--dir needs an existing folder"; parent=$2; shift 2 ;;
        --harvest) harvest=${2:-}; shift 2 ;;
        --delay) bench_set_delay "$1" "${2:-}"; shift 2 ;;
        --small) sections=6; galleries=10; shift ;;
        --no-reuse) harvest_extra+=(--no-reuse); shift ;;
        --no-archive) harvest_extra+=(--no-archive); shift ;;
        --rtt) [[ "${2:-}" =~ ^[0-9]+$ ]] || die "--rtt needs milliseconds"; rtt=$2; shift 2 ;;
        --archive-entries) positive "$1" "${2:-}"; archive_entries=$2; shift 2 ;;
        -h|--help) bench_help 28; exit 0 ;;
        *) die "unknown argument: $1 (try --help)" ;;
    esac
done

expected=$((sections * galleries * pictures))
pages=$((1 + sections + sections * galleries))

bench_check_programs harvest "$harvest"
bench_need_command wget wget
tools=(harvest wget harvest_tls wget_tls)

bench_make_work "$parent" www out home tmp times
bench_make_certificates
bench_start_nginx 256 "types { text/html html; image/jpeg jpg; }"

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
tls_url="https://127.0.0.1:$tls_port/index.html"
out="$work/out"

# command_of TOOL: sets cmd to the command line of one harvest of the site into $out.
command_of() {
    case "$1" in
        harvest) cmd=("$harvest" "${harvest_extra[@]}" "$url" "$out" --depth 3 --download 20 --no-unique --no-multi
                      --min-kb 0 --home "$work/home") ;;
        wget) cmd=(wget --no-config -r -l3 -A "jpg,html" -nv -P "$out" "$url") ;;
        harvest_tls) cmd=("$harvest" "${harvest_extra[@]}" "$tls_url" "$out" --depth 3 --download 20 --no-unique
                          --no-multi --min-kb 0 --home "$work/home" --ca "$ca_file") ;;
        wget_tls) cmd=(wget --no-config -r -l3 -A "jpg,html" -nv --ca-certificate="$ca_file"
                       -P "$out" "$tls_url") ;;
    esac
}

# One untimed wget run first, so that nginx and the page cache are warm for
# the first timed tool.
command_of wget
"${cmd[@]}" 2>/dev/null || die "the warm-up harvest with wget failed"
if [[ -n $rtt ]]; then
    # The timed runs reach nginx through the delaying proxy only.
    bench_start_delayproxy $((port + 2)) "$port" "$rtt"
    bench_start_delayproxy $((port + 3)) "$tls_port" "$rtt"
    url="http://127.0.0.1:$((port + 2))/index.html"
    tls_url="https://127.0.0.1:$((tls_port + 2))/index.html"
fi

if [[ -n $archive_entries ]]; then
    bench_need_command sqlite3 sqlite3
    echo "Filling an archive with $archive_entries entries..." >&2
    mkdir -p "$work/archive"
    # The archive's own schema; the addresses are of another server.
    sqlite3 "$work/archive/archive.sqlite" <<SQL >/dev/null
PRAGMA journal_mode=WAL;
CREATE TABLE files (source TEXT NOT NULL, path TEXT NOT NULL, size INTEGER NOT NULL,
                    finished TEXT NOT NULL, sha256 BLOB NOT NULL);
CREATE INDEX files_source ON files (source);
CREATE INDEX files_sha256 ON files (sha256);
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < $archive_entries)
INSERT INTO files SELECT 'http://pictures.invalid/g' || (i / 100) || '/p' || i || '.jpg',
    '/pictures/p' || i || '.jpg', 4096, '2026-01-01T00:00:00Z', randomblob(32) FROM n;
SQL
    echo "Crawling $url without and with the archive, $runs runs each..." >&2
    for ((run = 1; run <= runs; run++)); do
        for tool in crawl crawl_archive; do
            rm -rf "$out" "${work:?}/home"
            mkdir -p "$out" "$work/home"
            cmd=("$harvest" "${harvest_extra[@]}" "$url" "$out" --depth 3 --no-unique --no-multi
                 --min-kb 0)
            if [[ $tool == crawl ]]; then
                cmd+=(--home "$work/home" --no-skip-downloaded)
            else
                cmd+=(--home "$work/archive")
            fi
            bench_time "${cmd[@]}" 2>"$work/stderr.txt" || die "$tool failed in run $run"
            summary=$(tail -n 1 "$work/stdout.txt")
            [[ $summary == "pages $pages, rows $expected,"* ]] ||
                die "$tool: unexpected summary in run $run: $summary"
            # The crawl takes a tenth of a second: its own clock, from the
            # start of the crawl to its end, instead of GNU time's hundredths
            # (the summary's time ends at a poll every 10 ms).
            t_wall=$(sed -n 's/^harvest: crawl \([0-9.]*\) s$/\1/p' "$work/stderr.txt")
            [[ -n $t_wall ]] || t_wall=${summary##*seconds }
            bench_record "$work/times/$tool" "$(printf 'run %d %-14s' "$run" "$tool")"
        done
    done
    echo
    printf '%d pages, %d pictures, the crawl alone (wall: its own clock), median of %d runs\n\n' \
        "$pages" "$expected" "$runs"
    declare -A wall
    for tool in crawl crawl_archive; do
        wall[$tool]=$(bench_median 1 "$work/times/$tool")
        printf '%-14s wall %.4f s  CPU %.2f s  peak RSS %.1f MiB\n' "$tool" "${wall[$tool]}" \
            "$(bench_median 2 "$work/times/$tool")" "$(bench_median 3 "$work/times/$tool")"
    done
    echo
    awk -v a="${wall[crawl_archive]}" -v c="${wall[crawl]}" -v n="$archive_entries" 'BEGIN {
        r = c > 0 ? a / c : 0
        printf "crawl with an archive of %d entries / without: wall %.3fx (goal <= 1.05: %s)\n",
            n, r, r <= 1.05 ? "met" : "missed"
    }'
    exit 0
fi

echo "Harvesting $url with ${tools[*]}, $runs runs each..." >&2
for ((run = 1; run <= runs; run++)); do
    # The tools take turns, so that a slow spell of the machine hits all of them.
    for tool in "${tools[@]}"; do
        rm -rf "$out" "${work:?}/home"
        mkdir -p "$out" "$work/home"
        sync
        command_of "$tool"
        bench_resumed_share >/dev/null
        if ! bench_time "${cmd[@]}" 2>"$work/stderr.txt"; then
            tail -n 20 "$work/stderr.txt" "$work/stdout.txt" >&2
            die "$tool failed in run $run"
        fi
        got=$(find "$out" -name '*.jpg' -type f | wc -l)
        ((got == expected)) || die "$tool got $got pictures of $expected in run $run"
        if [[ $tool == harvest_tls ]]; then
            bench_resumed_share >>"$work/times/harvest_tls.resumed"
        fi
        if [[ $tool == harvest* ]]; then
            summary=$(tail -n 1 "$work/stdout.txt")
            [[ $summary == "pages $pages, rows $expected, done $expected, failed 0,"* ]] ||
                die "harvest: unexpected summary in run $run: $summary"
            echo "  $summary; $(grep '^harvest: crawl' "$work/stderr.txt" || true)" >&2
        fi
        bench_record "$work/times/$tool" "$(printf 'run %d %-8s' "$run" "$tool")"
    done
done
rm -rf "$out" "${work:?}/home"

echo
printf '%d pages, %d pictures of 2-8 KiB over 127.0.0.1, every answer delayed %d ms, median of %d runs\n\n' \
    "$pages" "$expected" "$bench_delay_ms" "$runs"
[[ -z $rtt ]] || printf 'every tool through bench/delayproxy, round trip %d ms\n\n' "$rtt"
bench_tool_table 11 "${tools[@]}"
echo
# Against a delayed server the crawl's and the downloads' overlap count.
awk -v hw="${wall[harvest]}" -v ww="${wall[wget]}" -v delay="$bench_delay_ms" 'BEGIN {
    r = ww > 0 ? hw / ww : 0
    goal = delay > 0 ? 0.10 : 0.50
    printf "harvest / wget: wall %.2fx (goal <= %.2f: %s)\n", r, goal, r <= goal ? "met" : "missed"
}'
awk -v hw="${wall[harvest_tls]}" -v ww="${wall[wget_tls]}" 'BEGIN {
    r = ww > 0 ? hw / ww : 0
    printf "over TLS, harvest / wget: wall %.2fx (goal <= 1.00: %s)\n", r, r <= 1.0 ? "met" : "missed"
}'
echo "over TLS, harvest's resumed handshakes, per run: $(paste -sd, "$work/times/harvest_tls.resumed")"
