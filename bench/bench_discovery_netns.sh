#!/usr/bin/env bash
# Discovery burst on real sockets: N element daemons, each in a network namespace of its own
# (own MAC and address) on one bridge, answer one paging broadcast of nms-cli at about the same
# moment. Prints the elements that answered, the records stored, the kernel's drops and the time
# from the end of the scan to the rebuilt tree. Root only; everything lives in namespaces made
# here and is removed on exit.
#
#   bench/bench_discovery_netns.sh [BUILD_DIR] [N ...]      (default: build 250)
set -euo pipefail
build=${1:-build}
shift || true
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(250)
[ "$(id -u)" -eq 0 ] || { echo "needs root (network namespaces)"; exit 1; }
cli=$(readlink -f "$build/src/nms-cli")
sim=$(readlink -f "$build/sim/vantrelo-element-sim")
[ -x "$cli" ] && [ -x "$sim" ] || { echo "build nms-cli and vantrelo-element-sim first"; exit 1; }

p="vbd$$"
home=$(mktemp -d /tmp/nms-bench-netns-XXXXXX)
cleanup() {
    for ns in $(ip netns list 2>/dev/null | awk '{print $1}' | grep "^$p-" || true); do
        pids=$(ip netns pids "$ns" 2>/dev/null || true)
        [ -n "$pids" ] && kill -9 $pids 2>/dev/null || true
        ip netns del "$ns" 2>/dev/null || true
    done
    rm -rf "$home"
}
trap cleanup EXIT INT TERM

addr() { echo "10.204.$(( $1 / 250 )).$(( $1 % 250 + 2 ))"; }
macof() { printf '02:cd:00:%02x:%02x:02' $(( $1 / 256 )) $(( $1 % 256 )); }

setup() {
    local n=$1 batch=$home/ip.batch
    : >"$batch"
    echo "netns add $p-sw" >>"$batch"
    echo "netns add $p-st" >>"$batch"
    for i in $(seq 1 "$n"); do echo "netns add $p-e$i" >>"$batch"; done
    ip -batch "$batch"
    ip -n "$p-sw" link add br0 type bridge
    ip -n "$p-sw" link set br0 up
    ip -n "$p-sw" link set lo up
    : >"$batch"
    echo "link add st0 type veth peer name eth0 netns $p-st" >>"$batch"
    for i in $(seq 1 "$n"); do echo "link add e$i type veth peer name eth0 netns $p-e$i" >>"$batch"; done
    ip -n "$p-sw" -batch "$batch"
    : >"$batch"
    echo "link set st0 master br0 up" >>"$batch"
    for i in $(seq 1 "$n"); do echo "link set e$i master br0 up" >>"$batch"; done
    ip -n "$p-sw" -batch "$batch"
    ip -n "$p-st" link set lo up
    ip -n "$p-st" addr add 10.204.255.1/16 dev eth0
    ip -n "$p-st" link set eth0 address 02:cd:ff:ff:ff:01 up
    for i in $(seq 1 "$n"); do
        ip -n "$p-e$i" addr add "$(addr "$i")/16" dev eth0
        ip -n "$p-e$i" link set eth0 address "$(macof "$i")" up
    done
    # Room for one neighbour entry per element and a burst of answers.
    ip netns exec "$p-st" sysctl -q -w net.ipv4.neigh.default.gc_thresh1=4096 net.ipv4.neigh.default.gc_thresh2=8192 \
        net.ipv4.neigh.default.gc_thresh3=16384 net.core.rmem_max=16777216 >/dev/null 2>&1 || true
    for i in $(seq 1 "$n"); do
        role=encoder; [ $(( i % 3 )) -eq 0 ] && role=decoder
        (ip netns exec "$p-e$i" "$sim" --ip "$(addr "$i")" --mac "$(macof "$i")" --role $role \
            --name "ELEMENT $i" --fw 3.70 >/dev/null 2>&1 &)
    done
    sleep 2
}

run_scan() {
    mkdir -p "$home/cfg/vantrelo-nms" "$home/run"
    chmod 700 "$home/run"
    printf '[Vantrelo%%20NG]\nEULA1=1\n' >"$home/cfg/vantrelo-nms/Kestrova.ini"
    ip netns exec "$p-st" env HOME="$home" XDG_CONFIG_HOME="$home/cfg" XDG_RUNTIME_DIR="$home/run" \
        NMS_DATABASE="$home/nms.ini" "$cli" discover --yes --timeout 3 --stats >"$home/out.txt" 2>"$home/err.txt" || true
    grep '^stats:' "$home/err.txt" || { cat "$home/err.txt"; echo "scan failed"; }
    grep -v -E '^(stats:|QStandardPaths)' "$home/err.txt" | sort | uniq -c | head -5 >&2 || true
}

printf '%9s  %s\n' elements "result"
for n in "${sizes[@]}"; do
    cleanup
    home=$(mktemp -d /tmp/nms-bench-netns-XXXXXX)
    setup "$n"
    # The first scan meets empty neighbour tables on both sides; the second, warm ones.
    printf '%9s  cold: %s\n' "$n" "$(run_scan)"
    printf '%9s  warm: %s\n' "$n" "$(run_scan)"
done
