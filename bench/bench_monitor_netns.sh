#!/usr/bin/env bash
# The plant monitor on real sockets: N element daemons (vantrelo-element-sim), each in a network
# namespace of its own on two networks of the station (scripts/netns-testbed.sh), are found by a
# scan and then polled by `nms-cli monitor --stats` for a few cycles: per cycle, how long it took
# from the first request to the last answer, the replies and misses, and the processor time of
# the interval. Then the station itself (the window, offscreen) runs for a while with the monitor
# on and for as long with it off, and its processor time is compared: the cost of watching the
# plant against the station at rest, as a ratio. Root only; everything lives in namespaces made
# here and is removed on every exit path.
#
#   bench/bench_monitor_netns.sh [BUILD_DIR] [ELEMENTS] [CYCLES] [SECONDS]
#                                (default: build 250 3 40; ELEMENTS at most 480)
#
# With --crowd, large plants from one process: a crowd of simulated elements
# (vantrelo-element-crowd, on the far end of one veth pair, each element with its own address and
# MAC) is found by `nms-cli discover` and polled by `nms-cli monitor --stats`, per plant size with
# every element answering, with every tenth silent, and (above 1000) with a segment of 1000 silent
# (found by the scan, but never answering its statistics). Per run it prints the cycle's
# duration, the replies per cycle and the station's processor time per element, each as a ratio
# to the first size with every element answering. The first cycle of a run (every element new to
# the monitor) is shown apart; the figures are those of the cycles after it. The host-wide
# neighbour-table limits are raised for the run and put back on every exit path.
#
#   bench/bench_monitor_netns.sh --crowd [BUILD_DIR] [CYCLES] [N ...]
#                                (default: build 3 1000 4000)
set -euo pipefail

crowd_mode() {
    local build=${1:-build}
    shift || true
    local cycles=${1:-3}
    shift || true
    local sizes=("$@")
    [ ${#sizes[@]} -gt 0 ] || sizes=(1000 4000)
    [[ "$cycles" =~ ^[0-9]+$ ]] && [ "$cycles" -ge 1 ] || { echo "CYCLES is a number of cycles"; exit 1; }
    local n max=0
    for n in "${sizes[@]}"; do
        [[ "$n" =~ ^[0-9]+$ ]] && [ "$n" -ge 10 ] && [ "$n" -le 60000 ] || { echo "sizes are 10 to 60000"; exit 1; }
        [ "$n" -gt "$max" ] && max=$n
    done
    . "$(dirname "$0")/crowd_netns.sh"
    crowd_bench_begin bench_monitor_netns "$build" "$max"

    # One monitor run; writes to $work/result: first_took took replies missed cpu_us_per_element
    # (or "failed"). An interrupted nms-cli ends the benchmark.
    # The figures after the first cycle: the median duration, the mean replies, misses and
    # processor time (the interval's, per element).
    monitor_run() {
        local n=$1 status=0
        station "$cli" monitor --interval 2 --cycles "$cycles" --stats >/dev/null 2>"$work/monitor.err" || status=$?
        [ "$status" -ne 130 ] || exit 130
        sed -nE 's/^stats: cycle ([0-9]+): elements ([0-9]+), replies ([0-9]+), missed ([0-9]+), took ([0-9]+) ms, cpu since the last cycle ([0-9.]+) ms$/\1 \2 \3 \4 \5 \6/p' \
            "$work/monitor.err" >"$work/cycles.txt"
        [ -s "$work/cycles.txt" ] || { echo failed >"$work/result"; return; }
        awk -v n="$n" '
            { c[NR] = $1; r[NR] = $3; m[NR] = $4; t[NR] = $5; u[NR] = $6 }
            END {
                from = NR > 1 ? 2 : 1; k = 0
                for (i = from; i <= NR; i++) { k++; tt[k] = t[i]; rs += r[i]; ms += m[i]; us += u[i] }
                # median of the durations after the first cycle
                for (i = 1; i <= k; i++) for (j = i + 1; j <= k; j++) if (tt[j] < tt[i]) { x = tt[i]; tt[i] = tt[j]; tt[j] = x }
                med = k % 2 ? tt[(k + 1) / 2] : (tt[k / 2] + tt[k / 2 + 1]) / 2
                printf "%d %.0f %.0f %.0f %.1f\n", t[1], med, rs / k, ms / k, us / k * 1000 / n
            }' "$work/cycles.txt" >"$work/result"
    }

    ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2fx", a / b; else print "n/a" }'; }

    printf '%8s %-18s %9s %10s %8s %9s %8s %7s %12s %8s %s\n' elements scenario "first ms" "cycle ms" ratio \
        replies ratio missed "cpu/el us" ratio target
    local base_took="" base_replies="" base_cpu="" label flags stored status line first took replies missed cpu target
    for n in "${sizes[@]}"; do
        crowd_link_up
        crowd_start --verbose --count "$n"
        station_home $'MonitorPlant=0\n'
        status=0
        station "$cli" discover --yes --timeout 3 >/dev/null 2>"$work/discover.err" || status=$?
        [ "$status" -ne 130 ] || exit 130
        stored=$(grep -c '^\[' "$home/nms.ini" 2>/dev/null || echo 0)
        if [ "$stored" -ne "$n" ]; then
            echo "  $n elements: the scan stored $stored: $(grep -v QStandardPaths "$work/discover.err" | head -c 300 | tr '\n' ' ')"
            [ "$stored" -gt 0 ] || { crowd_link_down; continue; }
        fi
        for scenario in all tenth segment; do
            case $scenario in
                all) label="all answering"; flags=(); target=200 ;;
                tenth) label="every 10th silent"; flags=(--silent-every 10); target=2000 ;;
                segment)
                    [ "$n" -gt 1000 ] || continue
                    label="1000 silent"; flags=(--silent-from $((n - 999))); target=3000 ;;
            esac
            [ "$scenario" = all ] || crowd_start --verbose --count "$n" "${flags[@]}"
            monitor_run "$stored"
            line=$(cat "$work/result")
            if [ "$line" = failed ]; then
                printf '%8s %-18s  monitor failed: %s\n' "$n" "$label" "$(grep -v QStandardPaths "$work/monitor.err" | head -c 300 | tr '\n' ' ')"
                continue
            fi
            read -r first took replies missed cpu <<<"$line"
            if [ -z "$base_took" ] && [ "$scenario" = all ]; then
                base_took=$took base_replies=$replies base_cpu=$cpu
            fi
            # The targets are those of a plant of 4000.
            [ "$n" -eq 4000 ] && target="<= $target ms" || target=""
            printf '%8s %-18s %9s %10s %8s %9s %8s %7s %12s %8s %s\n' "$n" "$label" "$first" "$took" \
                "$(ratio "$took" "${base_took:-$took}")" "$replies" "$(ratio "$replies" "${base_replies:-$replies}")" \
                "$missed" "$cpu" "$(ratio "$cpu" "${base_cpu:-$cpu}")" "$target"
            grep -v -E '^(stats:|QStandardPaths)' "$work/monitor.err" | sort | uniq -c | sort -rn | head -2 |
                sed 's/^/           station said: /' || true
        done
        crowd_link_down
    done
    echo "cycles per run: $cycles (a cycle every 2 s; the first shown apart)"
    echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
}
if [ "${1:-}" = --crowd ]; then
    shift
    crowd_mode "$@"
    exit 0
fi

build=${1:-build}
n=${2:-250}
cycles=${3:-3}
seconds=${4:-40}
[ "$(id -u)" -eq 0 ] || { echo "bench_monitor_netns: skipped: needs root (network namespaces)"; exit 0; }
[[ "$n" =~ ^[0-9]+$ ]] && [ "$n" -ge 1 ] && [ "$n" -le 480 ] || { echo "ELEMENTS is 1 to 480"; exit 1; }
[[ "$cycles" =~ ^[0-9]+$ ]] && [ "$cycles" -ge 1 ] || { echo "CYCLES is a number of cycles"; exit 1; }
[[ "$seconds" =~ ^[0-9]+$ ]] && [ "$seconds" -ge 12 ] || { echo "SECONDS is 12 or more"; exit 1; }
here=$(cd "$(dirname "$0")" && pwd)
testbed=$here/../scripts/netns-testbed.sh
cli=$(readlink -f "$build/src/nms-cli")
nms=$(readlink -f "$build/src/nms")
sim=$(readlink -f "$build/sim/vantrelo-element-sim")
for program in "$cli" "$nms" "$sim"; do
    [ -x "$program" ] || { echo "build nms, nms-cli and vantrelo-element-sim first"; exit 1; }
done

p="vbm$$"
work=$(mktemp -d /tmp/nms-bench-monitor-XXXXXX)
cleanup() {
    "$testbed" destroy "$p" || true
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

started=$(date +%s.%N)
"$testbed" create "$p" "$n" 2 >"$work/hosts.txt"
i=0
while read -r role ns _ ip mac _; do
    [ "$role" = element ] || continue
    i=$((i + 1))
    kind=encoder
    [ $((i % 3)) -eq 0 ] && kind=decoder
    # Detached, so that the shell does not report each one when the test bed ends it.
    (ip netns exec "$ns" "$sim" --ip "$ip" --mac "$mac" --role "$kind" --name "EL $i" \
        >/dev/null 2>"$work/sim-$i.err" &)
done <"$work/hosts.txt"
sleep 2
printf 'test bed: %d element daemons in namespaces on 2 networks, ready in %.1f s\n' \
    "$n" "$(awk -v a="$started" -v b="$(date +%s.%N)" 'BEGIN { print b - a }')"

home=$work/home
mkdir -p "$home/cfg/vantrelo-nms" "$home/run"
chmod 700 "$home/run"
settings() {
    printf '[Vantrelo%%20NG]\nEULA1=1\nMonitorPlant=%s\nMonitorInterval=10\n' "$1" \
        >"$home/cfg/vantrelo-nms/Kestrova.ini"
}
station() {
    ip netns exec "$p-st" env HOME="$home" XDG_CONFIG_HOME="$home/cfg" XDG_RUNTIME_DIR="$home/run" \
        XDG_DATA_HOME="$home/data" NMS_DATABASE="$home/nms.ini" QT_QPA_PLATFORM=offscreen "$@"
}
settings 0
station "$cli" discover --yes --timeout 3 >/dev/null 2>"$work/discover.err" || true
stored=$(grep -c '^\[' "$home/nms.ini" 2>/dev/null || echo 0)
echo "scan: $stored of $n elements stored"
[ "$stored" -gt 0 ] || { cat "$work/discover.err"; exit 1; }

echo
echo "nms-cli monitor, a cycle every 10 s:"
station "$cli" monitor --interval 10 --cycles "$cycles" --stats >/dev/null 2>"$work/monitor.err" || true
printf '%7s %9s %8s %7s %10s %22s\n' cycle elements replies missed "took ms" "cpu of the interval ms"
sed -nE 's/^stats: cycle ([0-9]+): elements ([0-9]+), replies ([0-9]+), missed ([0-9]+), took ([0-9]+) ms, cpu since the last cycle ([0-9.]+) ms$/\1 \2 \3 \4 \5 \6/p' \
    "$work/monitor.err" | while read -r c e r m t u; do
    printf '%7s %9s %8s %7s %10s %22s\n' "$c" "$e" "$r" "$m" "$t" "$u"
done
grep -v '^stats:' "$work/monitor.err" | sed 's/^/  said: /' | head -5 || true

# The station's window, its processor time over the same stretch with the monitor on and off;
# the first seconds (start-up) are left out of both. Every thread counts, to the nanosecond
# (schedstat), since the station at rest uses less than the clock ticks of /proc/PID/stat show.
cpu_ns() {
    local pid=$1 total=0 t
    for t in /proc/"$pid"/task/*/schedstat; do
        total=$((total + $(cut -d' ' -f1 "$t" 2>/dev/null || echo 0)))
    done
    echo "$total"
}
cpu_of_window() {
    settings "$1"
    station "$nms" >/dev/null 2>"$work/nms.err" &
    local launcher=$! pid="" t0 t1
    for _ in $(seq 1 50); do
        pid=$(ip netns pids "$p-st" 2>/dev/null | while read -r q; do
            [ "$(readlink -f "/proc/$q/exe" 2>/dev/null)" = "$nms" ] && echo "$q"; done | head -1)
        [ -n "$pid" ] && break
        sleep 0.1
    done
    [ -n "$pid" ] || { echo "-1"; return; }
    sleep 5
    t0=$(cpu_ns "$pid")
    sleep "$seconds"
    t1=$(cpu_ns "$pid")
    kill "$pid" 2>/dev/null || true
    wait "$launcher" 2>/dev/null || true
    awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.1f", (b - a) / 1e6 }'
}
on=$(cpu_of_window 1)
off=$(cpu_of_window 0)
echo
echo "the station's window over $seconds s (offscreen, $stored elements):"
printf '  monitor on:  %6s ms of processor time (%.2f%% of a core)\n' "$on" \
    "$(awk -v c="$on" -v s="$seconds" 'BEGIN { print c / (s * 10) }')"
printf '  monitor off: %6s ms of processor time (%.2f%% of a core)\n' "$off" \
    "$(awk -v c="$off" -v s="$seconds" 'BEGIN { print c / (s * 10) }')"
printf '  ratio on/off: %s\n' "$(awk -v a="$on" -v b="$off" 'BEGIN { if (b > 0) printf "%.1fx", a / b; else print "n/a (idle used no measurable time)" }')"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
