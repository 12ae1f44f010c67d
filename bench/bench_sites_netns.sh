#!/usr/bin/env bash
# Sites behind a router on real sockets: a crowd of simulated elements (vantrelo-element-crowd)
# spread PER_SITE to each of SITES /24 subnets behind a forwarding router namespace
# (scripts/netns-testbed.sh create-routed), declared to the station as sites of ten subnets each.
# It prints how long one scan of every site takes at the station's default pace (and what the
# station said it would take), the elements found, the paging datagrams the router forwarded and
# those among them to an address outside the declared subnets (which must be none), the monitor's
# cycle over the routed plant, all answering and with every tenth silent, and the same plant on
# one segment beside the station (found by `nms-cli discover`) in the same run, and the station's
# peak memory per element for each. Exits 1 when an element is missing or a datagram went
# outside. Root only; everything lives in namespaces made here and is removed on every exit
# path, and the host-wide neighbour-table limits are raised for the run and put back.
#
#   bench/bench_sites_netns.sh [BUILD_DIR] [SITES] [PER_SITE] [CYCLES]
#                              (default: build 100 40 3, 4000 elements; small: build 3 10 2)
set -euo pipefail
build=${1:-build}
sites=${2:-100}
per=${3:-40}
cycles=${4:-3}
[[ "$sites" =~ ^[0-9]+$ ]] && [ "$sites" -ge 1 ] && [ "$sites" -le 250 ] || { echo "SITES is 1 to 250"; exit 1; }
[[ "$per" =~ ^[0-9]+$ ]] && [ "$per" -ge 1 ] && [ "$per" -le 200 ] || { echo "PER_SITE is 1 to 200"; exit 1; }
[[ "$cycles" =~ ^[0-9]+$ ]] && [ "$cycles" -ge 2 ] || { echo "CYCLES is 2 or more (the first is shown apart)"; exit 1; }
n=$((sites * per))

. "$(dirname "$0")/crowd_netns.sh"
# The router holds a neighbour entry per element, the station as many for the plant on its
# segment, and a scan leaves a few hundred unresolved ones on the router at a time.
crowd_bench_begin bench_sites_netns "$build" $((2 * n + 1024))
trap 'crowd_bench_end; "$testbed" destroy "$p" || true' EXIT

# Runs a program of the station, its peak resident memory in KiB written to $work/rss.
station_measured() {
    station python3 -c '
import resource, subprocess, sys
status = subprocess.call(sys.argv[2:])
open(sys.argv[1], "w").write("%d\n" % resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)
sys.exit(status)' "$work/rss" "$@"
}
# The last peak as "MiB (KiB per element)": for a small plant the station's own footprint is most of it.
per_element() { awk -v k="$(cat "$work/rss")" -v n="$1" 'BEGIN { printf "%.0f MiB (%.1f KiB/el)", k / 1024, k / n }'; }

# The monitor's cycles: "first_ms median_ms replies missed elements" after the first cycle (the
# first, every element new to it, apart), or "failed".
monitor_run() {
    local status=0
    station_measured "$cli" monitor --interval 2 --cycles "$cycles" --stats >/dev/null 2>"$work/monitor.err" || status=$?
    [ "$status" -ne 130 ] || exit 130
    sed -nE 's/^stats: cycle ([0-9]+): elements ([0-9]+), replies ([0-9]+), missed ([0-9]+), took ([0-9]+) ms, cpu since the last cycle ([0-9.]+) ms.*$/\2 \3 \4 \5 \6/p' \
        "$work/monitor.err" | awk '
        NR == 1 { first = $4; next }
        { k++; t[k] = $4; r += $2; m += $3; e = $1; c += $5 }
        END {
            if (k == 0) { print "failed"; exit }
            for (i = 1; i <= k; i++) for (j = i + 1; j <= k; j++) if (t[j] < t[i]) { x = t[i]; t[i] = t[j]; t[j] = x }
            med = k % 2 ? t[(k + 1) / 2] : (t[k / 2] + t[k / 2 + 1]) / 2
            printf "%d %.0f %.0f %.0f %d %.0f\n", first, med, r / k, m / k, e, c / k
        }'
}
print_monitor() {
    local plant=$1 label=$2 line first took replies missed elements
    line=$(monitor_run)
    if [ "$line" = failed ]; then
        printf '  %-16s %-18s monitor failed: %s\n' "$plant" "$label" "$(head -c 300 "$work/monitor.err" | tr '\n' ' ')"
        return
    fi
    read -r first took replies missed elements cpu <<<"$line"
    printf '  %-16s %-18s %9s %9s %9s %7s %7s %9s  %s\n' "$plant" "$label" "$elements" "$first" "$took" \
        "$replies" "$missed" "$cpu" "$(per_element "$elements")"
}

echo "sites: $sites subnets of /24 behind a router, $per elements on each: $n elements"

# The routed plant: the test bed, the crowd on the sites' link, the sites declared.
started=$(date +%s.%N)
"$testbed" create-routed "$p" "$sites" 0 >/dev/null
(ip netns exec "$p-sc" "$crowd" --interface eth0 --first 10.211.1.1 --mask 255.255.255.0 --per-subnet "$per" \
    --count "$n" --mac-prefix 02:ce --first-serial 1000001 --verbose 2>>"$work/crowd.err" &)
station_home $'MonitorPlant=0\n'
subnets=()
for ((s = 1; s <= sites; s++)); do subnets+=("10.211.$s.0/24"); done
for ((s = 0; s < sites; s += 10)); do
    station "$cli" sites add "site-$((s / 10 + 1))" "${subnets[@]:s:10}" >/dev/null 2>"$work/sites.err" ||
        { echo "sites add failed: $(head -c 300 "$work/sites.err")"; exit 1; }
done
"$testbed" paging-count "$p" declare "${subnets[@]}"
printf 'routed test bed ready in %.1f s\n' "$(awk -v a="$started" -v b="$(date +%s.%N)" 'BEGIN { print b - a }')"

t0=$(date +%s.%N)
status=0
station_measured "$cli" scan >"$work/scan.out" 2>"$work/scan.err" || status=$?
[ "$status" -ne 130 ] || exit 130
t1=$(date +%s.%N)
scan_rss=$(per_element "$n")
found=$(grep -c '^\[[A-Z]*-SN[0-9]\{10\}\]' "$home/nms.ini" 2>/dev/null || true)
read -r _ paged _ undeclared <<<"$("$testbed" paging-count "$p" read)"
echo
printf 'scan of %d addresses (%d subnets in %d sites), default pace: %.1f s (status %d)\n' "$((sites * 254))" \
    "$sites" "$(((sites + 9) / 10))" \
    "$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')" "$status"
# What the station planned, and what it found.
grep -hE '^Scanning|requests sent' "$work/scan.err" | sed 's/^/  station said: /' || true
echo "  elements found: $found of $n"
echo "  paging datagrams forwarded by the router: $paged; to undeclared addresses: $undeclared (target 0)"
echo "  station's peak memory during the scan: $scan_rss"

echo
printf '  %-16s %-18s %9s %9s %9s %7s %7s %9s  %s\n' plant scenario elements "first ms" "cycle ms" replies missed "cpu ms" "station's peak memory"
print_monitor "routed sites" "all answering"
stop_site_crowd() {
    local pids
    pids=$(ip netns pids "$p-sc" 2>/dev/null || true)
    [ -z "$pids" ] || kill $pids 2>/dev/null || true
    for _ in $(seq 1 50); do [ -z "$(ip netns pids "$p-sc" 2>/dev/null)" ] && break; sleep 0.1; done
}
stop_site_crowd
(ip netns exec "$p-sc" "$crowd" --interface eth0 --first 10.211.1.1 --mask 255.255.255.0 --per-subnet "$per" \
    --count "$n" --mac-prefix 02:ce --first-serial 1000001 --silent-every 10 2>>"$work/crowd.err" &)
sleep 0.5
print_monitor "routed sites" "every 10th silent"
"$testbed" destroy "$p"

# The same plant on one segment beside the station (crowd_netns.sh's link, 10.204.0.0/16).
crowd_link_up
crowd_start --count "$n"
station_home $'MonitorPlant=0\n'
station "$cli" discover --yes --timeout 3 >/dev/null 2>"$work/discover.err" || true
stored=$(grep -c '^\[' "$home/nms.ini" 2>/dev/null || true)
[ "$stored" -eq "$n" ] || echo "  one segment: discover stored $stored of $n"
print_monitor "one segment" "all answering"
crowd_start --count "$n" --silent-every 10
print_monitor "one segment" "every 10th silent"
crowd_link_down

echo "cycles per run: $cycles, one every 2 s; the cycle figure is the median after the first, cpu the"
echo "station's processor time per cycle (its mean after the first); where it is the same on both"
echo "plants, a longer routed cycle is the time the test bed's router takes, not the station's work"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
[ "$found" -eq "$n" ] && [ "$undeclared" -eq 0 ] || { echo "FAILED: elements missing or datagrams outside the sites"; exit 1; }
