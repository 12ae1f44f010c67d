#!/usr/bin/env bash
# Discovery of large plants on real sockets: nms-cli pages from a station namespace, and a crowd
# of simulated elements (vantrelo-element-crowd, one process on the far end of a veth pair, each
# element with its own address and MAC) answers at once, each answer preceded by the element's
# ARP request as a real element's stack sends it. Per plant size it prints the share of elements
# stored, the kernel's drops, how late the tree came after the scan's time was up, and the
# station's processor time per element, with its ratio to the smallest size of the same run
# (flat means linear). Root only; everything lives in namespaces made here and is removed on
# exit. The host-wide neighbour-table limits are raised for the run (scripts/netns-testbed.sh
# neighbour-limits) and put back on every exit path.
#
# With NMS_BENCH_NEIGHBOUR_LIMITS=keep the host's limits stay as they are, to see how the station
# copes with a plant larger than its kernel's table (the addresses it could not resolve are listed
# in one message at the scan's end).
#
#   bench/bench_discovery_netns.sh [BUILD_DIR] [N ...]      (default: build 1000 2000 4000)
set -euo pipefail
build=${1:-build}
shift || true
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(1000 2000 4000)
max=0
for n in "${sizes[@]}"; do
    [[ "$n" =~ ^[0-9]+$ ]] && [ "$n" -ge 1 ] && [ "$n" -le 60000 ] || { echo "sizes are 1 to 60000"; exit 1; }
    [ "$n" -gt "$max" ] && max=$n
done

keep=""
[ "${NMS_BENCH_NEIGHBOUR_LIMITS:-raise}" != keep ] || keep=keep
. "$(dirname "$0")/crowd_netns.sh"
crowd_bench_begin bench_discovery_netns "$build" "$max" "$keep"
echo "neighbour limits (host-wide): $(cat /proc/sys/net/ipv4/neigh/default/gc_thresh{1,2,3} | tr '\n' ' ')"

# One scan; prints: stored dropped due_ms cpu_ms received (or "failed").
run_scan() {
    station_home
    station "$cli" discover --yes --timeout 3 --stats >"$work/out.txt" 2>"$work/err.txt" || true
    local line
    line=$(grep '^stats:' "$work/err.txt" || true)
    if [ -z "$line" ]; then
        echo failed
        return
    fi
    # Messages the station gave (for example a MAC address it could not find), counted.
    grep -v -E '^(stats:|QStandardPaths)' "$work/err.txt" | sort | uniq -c | sort -rn | head -3 >"$work/messages.txt" || true
    echo "$line" | sed -E 's/.*datagrams received ([0-9]+), dropped by the kernel ([0-9]+), elements stored ([0-9]+), .*scan due to tree (-?[0-9.]+) ms, cpu during scan ([0-9.]+) ms.*/\3 \2 \4 \5 \1/'
}

printf '%9s %6s %8s %10s %8s %16s %12s %14s %8s\n' elements scan answers "stored %" drops "tree after end" "cpu ms" "cpu/element us" ratio
base=""
for n in "${sizes[@]}"; do
    crowd_link_up
    crowd_start --count "$n"
    # The first scan meets a station whose neighbour table is empty; the second, one that still
    # holds the entries of the first.
    for kind in cold warm; do
        read -r stored dropped due cpu received <<<"$(run_scan)" || true
        if [ "$stored" = failed ] || [ -z "${cpu:-}" ]; then
            printf '%9s %6s  scan failed: %s\n' "$n" "$kind" "$(head -c 300 "$work/err.txt" | tr '\n' ' ')"
            continue
        fi
        per=$(awk -v c="$cpu" -v n="$n" 'BEGIN { printf "%.1f", c * 1000 / n }')
        [ "$kind" = cold ] && [ -z "$base" ] && base=$per
        ratio=$(awk -v a="$per" -v b="${base:-$per}" 'BEGIN { printf "%.2fx", a / b }')
        printf '%9s %6s %8s %9.1f%% %8s %13s ms %12s %14s %8s\n' "$n" "$kind" "$received" \
            "$(awk -v s="$stored" -v n="$n" 'BEGIN { print s * 100 / n }')" "$dropped" "$due" "$cpu" "$per" "$ratio"
        if [ -s "$work/messages.txt" ]; then sed 's/^/              station said: /' "$work/messages.txt"; fi
    done
    crowd_link_down
done
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
