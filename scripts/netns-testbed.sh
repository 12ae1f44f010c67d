#!/usr/bin/env bash
# A test network made of Linux network namespaces: one station namespace and N element
# namespaces, joined through bridges that live in a switch namespace of their own. Nothing is
# added to the namespace this script is started from, so no traffic can leave the test network.
#
#   netns-testbed.sh create PREFIX ELEMENTS [NETWORKS]
#   netns-testbed.sh destroy PREFIX
#   netns-testbed.sh destroy-stale [FAMILY]
#   netns-testbed.sh neighbour-limits raise ENTRIES STATEFILE
#   netns-testbed.sh neighbour-limits restore STATEFILE
#
# Namespaces: PREFIX-sw (bridges br1..brK), PREFIX-st (the station, eth0..eth(K-1)) and
# PREFIX-e1..PREFIX-eN (one element each, eth0). Network k is 10.203.k.0/24; the station is
# 10.203.k.1 on it, element i sits on network k = 1 + (i-1) mod K with address
# 10.203.k.(10+j), j = 1 + (i-1) div K its place on that network (up to 240 per network).
# MACs are locally administered: 02:cb:kk:ff:ff:01 for the station, 02:cb:kk:ii:ii:02 for
# element i. create prints one line per host: ROLE NAMESPACE INTERFACE ADDRESS MAC NETWORK.
#
# The kernel's IPv4 neighbour table is one table for the whole host, and its size limits
# (net.ipv4.neigh.default.gc_thresh1..3, default 128/512/1024) exist only in the initial network
# namespace: written inside a namespace of the test bed they do not exist. A run that needs more
# entries than that (a plant of more than about 1000 elements on one segment) raises them there
# with "neighbour-limits raise" (never lowering one) and puts the saved values back with
# "neighbour-limits restore", which a run calls on every exit path.
#
# Test programs name their prefix FAMILY<pid>_<n> (family "vnt"); destroy-stale removes the
# namespaces of such prefixes whose process is gone (a run that was killed), and the processes
# still running inside them. Root only.
set -euo pipefail

die() { echo "netns-testbed: $*" >&2; exit 1; }

ns_exists() { [ -e "/run/netns/$1" ]; }

kill_inside() {
    local ns=$1 pids
    pids=$(ip netns pids "$ns" 2>/dev/null || true)
    [ -n "$pids" ] && kill -9 $pids 2>/dev/null || true
}

destroy() {
    local prefix=$1 ns
    [ -d /run/netns ] || return 0
    for ns in $(ls /run/netns); do
        case "$ns" in
            "$prefix"-sw|"$prefix"-st|"$prefix"-e[0-9]*)
                kill_inside "$ns"
                ip netns del "$ns" 2>/dev/null || true ;;
        esac
    done
}

destroy_stale() {
    local family=${1:-vnt} ns pid prefix
    [ -d /run/netns ] || return 0
    for ns in $(ls /run/netns); do
        [[ "$ns" =~ ^(${family}([0-9]+)_[0-9]+)-(sw|st|e[0-9]+)$ ]] || continue
        prefix=${BASH_REMATCH[1]}
        pid=${BASH_REMATCH[2]}
        [ -d "/proc/$pid" ] && continue
        kill_inside "$ns"
        ip netns del "$ns" 2>/dev/null || true
    done
}

mac() { printf '02:cb:%02x:%02x:%02x:%02x' "$1" "$2" "$3" "$4"; }

create() {
    local prefix=$1 elements=$2 networks=${3:-1}
    [[ "$networks" =~ ^[0-9]+$ ]] && [ "$networks" -ge 1 ] && [ "$networks" -le 8 ] || die "NETWORKS must be 1 to 8"
    [[ "$elements" =~ ^[0-9]+$ ]] && [ "$elements" -le $((240 * networks)) ] ||
        die "ELEMENTS must be 0 to 240 per network"
    ns_exists "$prefix-sw" && die "$prefix exists already"
    # Whatever fails half-way is taken down again.
    trap 'destroy "$prefix"' ERR

    local sw=$prefix-sw st=$prefix-st k i net ns
    ip netns add "$sw"
    ip netns add "$st"
    ip -n "$sw" link set lo up
    ip -n "$st" link set lo up
    for ((k = 1; k <= networks; k++)); do
        ip -n "$sw" link add "br$k" type bridge forward_delay 0 stp_state 0
        ip -n "$sw" link set "br$k" up
        ip -n "$sw" link add "st$k" type veth peer name "eth$((k - 1))" netns "$st"
        ip -n "$sw" link set "st$k" master "br$k" up
        ip -n "$st" link set "eth$((k - 1))" address "$(mac "$k" 255 255 1)"
        ip -n "$st" addr add "10.203.$k.1/24" broadcast "10.203.$k.255" dev "eth$((k - 1))"
        ip -n "$st" link set "eth$((k - 1))" up
        echo "station $st eth$((k - 1)) 10.203.$k.1 $(mac "$k" 255 255 1) $k"
    done
    for ((i = 1; i <= elements; i++)); do
        net=$((1 + (i - 1) % networks))
        local j=$((1 + (i - 1) / networks))
        ns=$prefix-e$i
        ip netns add "$ns"
        ip -n "$ns" link set lo up
        ip -n "$sw" link add "e$i" type veth peer name eth0 netns "$ns"
        ip -n "$sw" link set "e$i" master "br$net" up
        ip -n "$ns" link set eth0 address "$(mac "$net" $((i >> 8)) $((i & 255)) 2)"
        ip -n "$ns" addr add "10.203.$net.$((10 + j))/24" broadcast "10.203.$net.255" dev eth0
        ip -n "$ns" link set eth0 up
        echo "element $ns eth0 10.203.$net.$((10 + j)) $(mac "$net" $((i >> 8)) $((i & 255)) 2) $net"
    done
    trap - ERR
}

neigh_keys=(gc_thresh1 gc_thresh2 gc_thresh3)

# Run from the initial namespace (this script is never run inside one of its own namespaces).
neighbour_limits_raise() {
    local entries=$1 state=$2 key old want i=0
    [[ "$entries" =~ ^[0-9]+$ ]] && [ "$entries" -ge 1 ] && [ "$entries" -le 1000000 ] || die "ENTRIES must be 1 to 1000000"
    [ -r /proc/sys/net/ipv4/neigh/default/gc_thresh3 ] || die "the neighbour-table limits are not visible here (not the initial network namespace?)"
    [ -e "$state" ] && die "$state exists already (an earlier run did not restore its limits)"
    : >"$state"
    # gc_thresh1: no collection below it; gc_thresh2: collection of entries older than 5 s
    # above it; gc_thresh3: the hard limit, where new entries are refused.
    local wanted=("$entries" $((entries * 2)) $((entries * 4)))
    for key in "${neigh_keys[@]}"; do
        old=$(cat "/proc/sys/net/ipv4/neigh/default/$key")
        echo "$key $old" >>"$state"
        want=${wanted[$i]}
        i=$((i + 1))
        [ "$want" -gt "$old" ] && echo "$want" >"/proc/sys/net/ipv4/neigh/default/$key"
    done
    return 0
}

neighbour_limits_restore() {
    local state=$1 key value
    [ -e "$state" ] || return 0
    # Highest first on the way down, so that thresh1 <= thresh2 <= thresh3 holds throughout.
    for key in gc_thresh3 gc_thresh2 gc_thresh1; do
        value=$(awk -v k="$key" '$1 == k {print $2}' "$state")
        [ -n "$value" ] && echo "$value" >"/proc/sys/net/ipv4/neigh/default/$key"
    done
    rm -f "$state"
}

[ "$(id -u)" -eq 0 ] || die "must run as root"
command -v ip >/dev/null || die "iproute2 (ip) is missing"
case "${1:-}" in
    create) [ $# -ge 3 ] || die "usage: $0 create PREFIX ELEMENTS [NETWORKS]"; create "$2" "$3" "${4:-1}" ;;
    destroy) [ $# -eq 2 ] || die "usage: $0 destroy PREFIX"; destroy "$2" ;;
    destroy-stale) destroy_stale "${2:-vnt}" ;;
    neighbour-limits)
        case "${2:-}" in
            raise) [ $# -eq 4 ] || die "usage: $0 neighbour-limits raise ENTRIES STATEFILE"; neighbour_limits_raise "$3" "$4" ;;
            restore) [ $# -eq 3 ] || die "usage: $0 neighbour-limits restore STATEFILE"; neighbour_limits_restore "$3" ;;
            *) die "usage: $0 neighbour-limits raise ENTRIES STATEFILE | neighbour-limits restore STATEFILE" ;;
        esac ;;
    *) die "usage: $0 create PREFIX ELEMENTS [NETWORKS] | destroy PREFIX | destroy-stale [FAMILY] | neighbour-limits ..." ;;
esac
