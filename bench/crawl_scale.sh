#!/usr/bin/env bash
# Crawls generated sites of two sizes (no pictures) from a local nginx with
# the harvest tool and prints the wall time, CPU time and peak memory of each
# and how the time grows with the number of pages: a crawl's cost should grow
# linearly with pages and links.
#
#   bash bench/crawl_scale.sh [--pages N] [--factor F] [--dir DIR] [--harvest PATH]
#
#   --pages N       pages of the smaller site (default 10000)
#   --factor F      the larger site has F times as many pages (default 10)
#   --dir DIR       parent folder of the scratch folder (default /tmp)
#   --harvest PATH  the harvest program (default build/bench/harvest)
#
# Each site: an index linking 100 section pages, each linking its share of
# the pages, every page linking back to its section and to the index and on
# to the next page of its section. Crawled at depth 3, so every page is
# visited once and every link looked up in the visited list.
# Only 127.0.0.1 is contacted. nginx and the scratch folder go away on exit.
set -euo pipefail

# shellcheck source-path=SCRIPTDIR source=benchlib.sh
source "$(dirname "$0")/benchlib.sh"

small=10000
factor=10
parent=/tmp
harvest="$root/build/bench/harvest"
sections=100

while (($#)); do
    case "$1" in
        --pages) positive "$1" "${2:-}"; small=$2; shift 2 ;;
        --factor) positive "$1" "${2:-}"; factor=$2; shift 2 ;;
        --dir) [[ -d "${2:-}" ]] || die "--dir needs an existing folder"; parent=$2; shift 2 ;;
        --harvest) harvest=${2:-}; shift 2 ;;
        -h|--help) bench_help 18; exit 0 ;;
        *) die "unknown argument: $1 (try --help)" ;;
    esac
done
((small >= sections)) || die "--pages needs at least $sections"

bench_check_programs harvest "$harvest"
bench_make_work "$parent" www home tmp times
bench_start_nginx 256 "types { text/html html; }"

# make_site PAGES: the site below $work/www/PAGES.
make_site() {
    awk -v root="$work/www/$1" -v pages="$1" -v sections="$sections" 'BEGIN {
        per = int(pages / sections)
        system("mkdir -p " root)
        index_html = root "/index.html"
        print "<html><body>" >index_html
        for (s = 1; s <= sections; s++) {
            sdir = sprintf("s%03d", s)
            system("mkdir -p " root "/" sdir)
            printf "<a href=\"%s/index.html\">Section %d</a>\n", sdir, s >>index_html
            shtml = root "/" sdir "/index.html"
            print "<html><body><a href=\"../index.html\">up</a>" >shtml
            for (p = 1; p <= per; p++) {
                printf "<a href=\"p%d.html\">Page %d</a>\n", p, p >>shtml
                phtml = root "/" sdir "/p" p ".html"
                printf "<html><body><a href=\"index.html\">section</a> <a href=\"../index.html\">index</a> <a href=\"p%d.html\">next</a></body></html>\n", p % per + 1 >phtml
                close(phtml)
            }
            print "</body></html>" >>shtml
            close(shtml)
        }
        print "</body></html>" >>index_html
    }'
}

large=$((small * factor))
for pages in "$small" "$large"; do
    echo "Making a site of $pages pages..." >&2
    make_site "$pages"
done

for pages in "$small" "$large"; do
    rm -rf "${work:?}/home" "$work/out"
    mkdir -p "$work/home"
    sync
    if ! bench_time "$harvest" "http://127.0.0.1:$port/$pages/index.html" "$work/out" --depth 3 \
        --home "$work/home" 2>"$work/stderr.txt"; then
        tail -n 20 "$work/stderr.txt" "$work/stdout.txt" >&2
        die "harvest failed on the site of $pages pages"
    fi
    summary=$(tail -n 1 "$work/stdout.txt")
    visited=$(((pages / sections) * sections + sections + 1))
    [[ $summary == "pages $visited, rows 0,"* ]] || die "unexpected summary for $pages pages: $summary"
    bench_record "$work/times/$pages" "$(printf '%7d pages' "$pages")"
done

echo
printf 'Sites of %d and %d pages over 127.0.0.1, depth 3, no pictures\n\n' "$small" "$large"
bench_tool_table 7 "$small" "$large"
echo
awk -v s="${wall[$small]}" -v l="${wall[$large]}" -v f="$factor" 'BEGIN {
    r = s > 0 ? l / s : 0
    goal = 1.2 * f
    printf "%d times the pages: %.2f times the wall time (goal <= %.1f: %s)\n", f, r, goal, r <= goal ? "met" : "missed"
}'
