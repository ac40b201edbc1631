#!/bin/sh
# Whole-process benchmarks of barwise-cli, all measured in this one run of the
# script, warm cache; use a Release build. Each figure is the median of 5 runs, given as
# wall time and as CPU time (user + system of the process, which other load on the
# machine does not inflate).
#
#   bench/cli_bench.sh [BARWISE_CLI] [WORK_DIR] [CLI_TIMER]
#   (or: cmake --build <release build> --target cli_bench)
#
#   split-search of the --large portfolio   vs  cat of the same files into /dev/null
#   export --all of the --large portfolio   in quotes per second
#   check of the 3,000-security portfolio   vs  cat of the same files into /dev/null
#   portfolios on a tree of 20,000 directories with a few hundred MASTER files
#                                           vs  find ROOT -iname master
set -eu

CLI=${1:-build-cli-release/cli/barwise-cli}
WORK=${2:-$(mktemp -d "${TMPDIR:-/tmp}/barwise-bench.XXXXXX")}
TIMER=${3:-$(dirname "$CLI")/../bench/cli_timer}
RUNS=5
[ -x "$CLI" ] || { echo "barwise-cli not found at $CLI (build it first)" >&2; exit 2; }
[ -x "$TIMER" ] || { echo "cli_timer not found at $TIMER (build the target cli_timer)" >&2; exit 2; }
mkdir -p "$WORK"

# "wall cpu" medians in ms
measure() { "$TIMER" "$RUNS" "$@" | awk '{ print $1, $2 }'; }
wall() { echo "$1" | awk '{ print $1 }'; }
cpu() { echo "$1" | awk '{ print $2 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }
show() { printf "  %-28s wall %9.2f ms   cpu %9.2f ms\n" "$1" "$(wall "$2")" "$(cpu "$2")"; }

echo "barwise-cli benchmarks, $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) CPUs, load $(cut -d' ' -f1-3 /proc/loadavg), median of $RUNS runs"

# ----- the --large portfolio -----
LARGE="$WORK/large"
[ -f "$LARGE/MASTER" ] || "$CLI" make-demo "$LARGE" --large 2>/dev/null
FILES=$(ls "$LARGE"/MASTER "$LARGE"/F*.DAT)
BYTES=$(cat $FILES | wc -c)
cat $FILES > /dev/null  # warm the cache
"$CLI" split-search "$LARGE" > /dev/null 2>&1

CAT=$(measure cat $FILES)
SPLIT=$(measure "$CLI" split-search "$LARGE")
LINES=$("$CLI" split-search "$LARGE" 2>/dev/null | wc -l)
echo
echo "split-search of --large (255 securities x 8,000 quotes, $BYTES bytes; $LINES result lines)"
show "cat of the same files" "$CAT"
show "barwise-cli split-search" "$SPLIT"
echo "  ratio to cat                 wall $(ratio "$(wall "$SPLIT")" "$(wall "$CAT")") x      cpu $(ratio "$(cpu "$SPLIT")" "$(cpu "$CAT")") x   (target <= 3)"

rm -rf "$WORK/export"
EXPORT=$(measure "$CLI" export "$LARGE" --all -o "$WORK/export")
QUOTES=$((255 * 8000))
echo
echo "export --all of --large ($QUOTES quotes, $(cat "$WORK"/export/*.txt | wc -c) bytes of text)"
show "barwise-cli export --all" "$EXPORT"
echo "  quotes per second            wall $(awk -v q=$QUOTES -v t="$(wall "$EXPORT")" 'BEGIN { printf "%.2f", q / t / 1000 }') million   cpu $(awk -v q=$QUOTES -v t="$(cpu "$EXPORT")" 'BEGIN { printf "%.2f", q / t / 1000 }') million   (target >= 3)"

# ----- the 3,000-security portfolio (MASTER, EMASTER and XMASTER) -----
# check_bench writes it (once) where BARWISE_BENCH_DB says.
EXTENDED="$WORK/extended"
CHECK_BENCH=$(dirname "$TIMER")/check_bench
if [ -x "$CHECK_BENCH" ]; then
    BARWISE_BENCH_DB="$EXTENDED" "$CHECK_BENCH" --benchmark_filter=BM_CatAllFiles > /dev/null 2>&1
    EXT_FILES=$(ls -d "$EXTENDED"/* | grep -v WRITTEN.txt)
    cat $EXT_FILES > /dev/null  # warm the cache
    CAT=$(measure cat $EXT_FILES)
    CHECK=$(measure "$CLI" check "$EXTENDED")
    echo
    echo "check of the 3,000-security portfolio ($(echo "$EXT_FILES" | wc -l) files, $(cat $EXT_FILES | wc -c) bytes; $("$CLI" check "$EXTENDED" 2>&1 >/dev/null))"
    show "cat of the same files" "$CAT"
    show "barwise-cli check" "$CHECK"
    echo "  ratio to cat                 wall $(ratio "$(wall "$CHECK")" "$(wall "$CAT")") x      cpu $(ratio "$(cpu "$CHECK")" "$(cpu "$CAT")") x   (target <= 2)"
else
    echo
    echo "check: check_bench not found beside cli_timer (configure with -DBARWISE_BENCH=ON)"
fi

# ----- a tree of 20,000 directories -----
TREE="$WORK/tree"
if [ ! -d "$TREE" ]; then
    # 20 x 20 x 50 leaf directories (20,421 in all); every 60th leaf is a portfolio with a
    # MASTER file in varying letter case and two data files; a directory named MASTER and a
    # dot-directory for the search to see through or skip.
    awk -v root="$TREE" 'BEGIN {
        for (a = 0; a < 20; a++) for (b = 0; b < 20; b++) for (c = 0; c < 50; c++)
            print root "/grp" a "/sub" b "/leaf" c
    }' | xargs mkdir -p
    awk -v root="$TREE" 'BEGIN {
        n = 0; split("MASTER Master master", names, " ")
        for (a = 0; a < 20; a++) for (b = 0; b < 20; b++) for (c = 0; c < 50; c++) {
            if (n % 60 == 0) {
                d = root "/grp" a "/sub" b "/leaf" c
                f = d "/" names[n % 3 + 1]; print "x" > f; close(f)
                f = d "/F1.DAT"; print "x" > f; close(f)
                f = d "/F1.DOP"; print "x" > f; close(f)
            }
            n++
        }
    }'
    mkdir -p "$TREE/grp0/sub0/MASTER/x" "$TREE/grp1/.hidden/MASTER"
    echo x > "$TREE/grp1/.hidden/MASTER/MASTER"
fi
DIRS=$(find "$TREE" -type d | wc -l)
find "$TREE" > /dev/null  # warm the cache
FIND=$(measure find "$TREE" -iname master)
PORT=$(measure "$CLI" portfolios "$TREE")
FOUND=$("$CLI" portfolios "$TREE" | wc -l)
echo
echo "portfolios on a tree of $DIRS directories ($FOUND portfolios)"
show "find ROOT -iname master" "$FIND"
show "barwise-cli portfolios ROOT" "$PORT"
echo "  ratio to find                wall $(ratio "$(wall "$PORT")" "$(wall "$FIND")") x      cpu $(ratio "$(cpu "$PORT")" "$(cpu "$FIND")") x   (target <= 1)"
echo
echo "(work files in $WORK)"
