#!/usr/bin/env bash
# `nms-cli list` (the table, and --json with every record whole) on a database of 1000 and of
# 10,000 elements: the wall time (median of RUNS starts each, alternating, after one unmeasured
# start of each), the ratio of the two, and the read() and stat() calls of one run (strace, when
# installed), against `nms-cli --version`.
# A list must cost what the file costs: ten times the elements, about ten times the parse, with
# the program's own start-up on top of both.
#
#   bench/bench_cli_list.sh [BUILD_DIR] [RUNS] [OTHER_NMS_CLI]
#   (with another build of nms-cli, an older one, that one too, in the same alternation)
set -euo pipefail
build=${1:-build}
runs=${2:-9}
other=${3:-}
cli="$build/src/nms-cli"
[ -x "$cli" ] || { echo "build nms-cli first"; exit 1; }
[ -z "$other" ] || [ -x "$other" ] || { echo "$other is not a program"; exit 1; }

home=$(mktemp -d /tmp/nms-bench-list-XXXXXX)
trap 'rm -rf "$home"' EXIT
mkdir -p "$home/cfg/vantrelo-nms" "$home/run" "$home/data"
chmod 700 "$home/run"
printf '[Vantrelo%%20NG]\nEULA1=1\n' >"$home/cfg/vantrelo-nms/Kestrova.ini"

# A database as discovery writes it: a third decoders (19 keys), the rest encoders (15 keys).
database() {
    awk -v n="$1" 'BEGIN {
        for (i = 0; i < n; i++) {
            dec = i % 3 == 0
            printf "[001A2B%06X]\nNAME=%-16s\nIP=10.20.%d.%d\n", i, "ELEMENT " i, int((i + 2) / 256), (i + 2) % 256
            printf "MASK=255.255.0.0\nGW=10.20.0.1\nINPUT=1\nTYPE=16\nTX=0\n"
            if (dec) printf "MULTI=239.192.0.1\n"; else printf "REMOTE=10.20.0.9\n"
            printf "ROLE=%d\nSN=%d\nVER=3.70\nSFN=0\nBUF=1\n", dec ? 2 : 1, 100000 + i
            if (dec) printf "SDM=0\nSDL=37\nSDT=43\nDLY=0\n"
            printf "ATT=245\nLLO=0\n"
        }
    }'
}
for n in 1000 10000; do database "$n" >"$home/nms-$n.ini"; done

in_home() {
    env -u NMS_DATABASE HOME="$home" XDG_CONFIG_HOME="$home/cfg" XDG_DATA_HOME="$home/data" \
        XDG_RUNTIME_DIR="$home/run" "$@"
}
# Milliseconds of one run of the arguments, its output thrown away.
ms() {
    local t0 t1
    t0=$(date +%s%N)
    in_home "$@" >/dev/null 2>&1 || { echo "bench_cli_list: $* failed" >&2; exit 1; }
    t1=$(date +%s%N)
    echo $(((t1 - t0) / 10000)) | awk '{ printf "%.2f", $1 / 100 }'
}
median() { tr ' ' '\n' | grep . | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
# read() and stat-like calls of one run.
calls() {
    command -v strace >/dev/null || { echo "-"; return; }
    in_home strace -f -c -e trace=read,stat,newfstatat,statx -o "$home/strace" "$@" >/dev/null 2>&1 || true
    awk '$NF == "read" { r = $4 } $NF ~ /stat/ { s += $4 } END { printf "%d/%d", r, s }' "$home/strace"
}

report() {
    local label=$1 program=$2
    local v=() l1=() l10=() j1=() j10=()
    for r in $(seq 0 "$runs"); do
        local a b c d e
        a=$(ms "$program" --version)
        b=$(ms "$program" list --database "$home/nms-1000.ini")
        c=$(ms "$program" list --database "$home/nms-10000.ini")
        d=$(ms "$program" list --json --database "$home/nms-1000.ini")
        e=$(ms "$program" list --json --database "$home/nms-10000.ini")
        [ "$r" -eq 0 ] && continue
        v+=("$a") l1+=("$b") l10+=("$c") j1+=("$d") j10+=("$e")
    done
    local mv m1 m10 n1 n10
    mv=$(echo "${v[*]}" | median)
    m1=$(echo "${l1[*]}" | median)
    m10=$(echo "${l10[*]}" | median)
    n1=$(echo "${j1[*]}" | median)
    n10=$(echo "${j10[*]}" | median)
    ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2fx", a / b }'; }
    printf "%-8s %10s %11s %12s %7s %11s %12s %7s %19s\n" "$label" "$mv" "$m1" "$m10" "$(ratio "$m10" "$m1")" \
        "$n1" "$n10" "$(ratio "$n10" "$n1")" "$(calls "$program" list --database "$home/nms-10000.ini")"
}

echo "nms-cli list (median of $runs runs each, ms)"
printf "%-8s %10s %11s %12s %7s %11s %12s %7s %19s\n" "" "--version" "list 1000" "list 10000" "ratio" \
    "json 1000" "json 10000" "ratio" "read/stat at 10000"
report "this" "$cli"
[ -z "$other" ] || report "other" "$other"
[ -z "$other" ] || echo "other: $other"
echo "ratio: list of 10,000 elements over list of 1000 (target at most 2x)"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
