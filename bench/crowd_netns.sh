# Sourced by the benchmarks that page a crowd of simulated elements on real sockets
# (vantrelo-element-crowd on the far end of one veth pair, each element with its own address and
# MAC): their start-up, the two namespaces, the crowd, the station's home and its clean-up on
# every exit path. Root only; the host-wide neighbour-table limits are raised for the run and put
# back at its end.
#
# crowd_bench_begin NAME BUILD MAX_ELEMENTS [keep] sets: cli, crowd, testbed, p (the namespace
# prefix), work (a folder of the run's own), limits and home. With "keep" the host's limits stay.

crowd_bench_begin() {
    local name=$1 build=$2 max=$3 keep=${4:-}
    [ "$(id -u)" -eq 0 ] || { echo "$name: skipped: needs root (network namespaces)"; exit 0; }
    local here
    here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
    testbed=$here/../scripts/netns-testbed.sh
    cli=$(readlink -f "$build/src/nms-cli")
    crowd=$(readlink -f "$build/sim/vantrelo-element-crowd")
    [ -x "$cli" ] && [ -x "$crowd" ] || { echo "build nms-cli and vantrelo-element-crowd first"; exit 1; }
    p="vb$$"
    work=$(mktemp -d "/tmp/nms-$name-XXXXXX")
    limits=$work/neighbour-limits
    home=$work/home
    trap crowd_bench_end EXIT
    trap 'exit 130' INT TERM
    # Room for every element's entry, whatever else the host holds.
    [ "$keep" = keep ] || "$testbed" neighbour-limits raise $((max + 1024)) "$limits"
}

crowd_bench_end() {
    crowd_link_down
    [ -f "$limits" ] && { "$testbed" neighbour-limits restore "$limits" || true; }
    rm -rf "$work"
}

# The station's namespace (10.204.255.1/16) and the crowd's, joined by one veth pair.
crowd_link_up() {
    ip netns add "$p-st"
    ip netns add "$p-cr"
    ip -n "$p-st" link set lo up
    ip -n "$p-st" link add eth0 type veth peer name eth0 netns "$p-cr"
    ip -n "$p-st" addr add 10.204.255.1/16 broadcast 10.204.255.255 dev eth0
    ip -n "$p-st" link set eth0 address 02:cd:ff:ff:ff:01 up
    ip netns exec "$p-cr" sysctl -q -w net.ipv6.conf.all.disable_ipv6=1 >/dev/null 2>&1 || true
    ip -n "$p-cr" link set eth0 up
}

# Ends every process of both namespaces and removes them.
crowd_link_down() {
    local ns pids
    for ns in "$p-st" "$p-cr"; do
        pids=$(ip netns pids "$ns" 2>/dev/null || true)
        [ -n "$pids" ] && kill -9 $pids 2>/dev/null || true
        ip netns del "$ns" 2>/dev/null || true
    done
}

# Starts the crowd with these options (its elements from 10.204.0.2), after ending the one before
# (the crowd's namespace holds nothing else); returns once it listens.
crowd_start() {
    local pids
    pids=$(ip netns pids "$p-cr" 2>/dev/null || true)
    if [ -n "$pids" ]; then
        kill $pids 2>/dev/null || true
        for _ in $(seq 1 50); do
            [ -z "$(ip netns pids "$p-cr" 2>/dev/null)" ] && break
            sleep 0.1
        done
    fi
    (ip netns exec "$p-cr" "$crowd" --interface eth0 --first 10.204.0.2 --mask 255.255.0.0 "$@" \
        2>>"$work/crowd.err" &)
    # The crowd is listening once its interface is up and it has opened its socket.
    for _ in $(seq 1 50); do
        [ -n "$(ip netns pids "$p-cr" 2>/dev/null)" ] && break
        sleep 0.1
    done
    sleep 0.3
}

# A fresh station home with these settings besides the notice read.
station_home() {
    rm -rf "$home"
    mkdir -p "$home/cfg/vantrelo-nms" "$home/run"
    chmod 700 "$home/run"
    printf '[Vantrelo%%20NG]\nEULA1=1\n%s' "${1:-}" >"$home/cfg/vantrelo-nms/Kestrova.ini"
}

# Runs a program of the station in its namespace with its home.
station() {
    ip netns exec "$p-st" env HOME="$home" XDG_CONFIG_HOME="$home/cfg" XDG_RUNTIME_DIR="$home/run" \
        XDG_DATA_HOME="$home/data" NMS_DATABASE="$home/nms.ini" QT_QPA_PLATFORM=offscreen "$@"
}
