#!/usr/bin/env bash
# A test network made of Linux network namespaces: one station namespace and N element
# namespaces, joined through bridges that live in a switch namespace of their own. Nothing is
# added to the namespace this script is started from, so no traffic can leave the test network.
#
#   netns-testbed.sh create PREFIX ELEMENTS [NETWORKS]
#   netns-testbed.sh create-routed PREFIX SITES [ELEMENTS]
#   netns-testbed.sh paging-count PREFIX declare [CIDR ...]
#   netns-testbed.sh paging-count PREFIX read
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
# create-routed makes a station whose elements sit on subnets behind a router. Namespaces:
# PREFIX-sw (bridges: br1 the station's segment, br2 the sites' link), PREFIX-st (the station,
# eth0 10.210.0.1/24, its default route through the router), PREFIX-rt (the router: eth0
# 10.210.0.254/24 on the station's segment, eth1 10.211.s.254/24 for each site s = 1..SITES on
# the sites' link, forwarding, no proxy ARP: no ARP crosses it, so the station never learns the
# MAC of an element behind it), PREFIX-lc and PREFIX-sc (link-only namespaces, no address, on the
# station's segment and on the sites' link, where vantrelo-element-crowd answers for many
# elements: from 10.210.0.10 beside the station, from 10.211.1.1 with --per-subnet on the sites)
# and PREFIX-e1..PREFIX-eN (one element daemon's host each on the sites' link: element i in site
# s = 1 + (i-1) mod SITES at 10.211.s.(200+j), j = 1 + (i-1) div SITES, its default route
# through the router). It prints the station, router, crowd and element lines, a crowd's ADDRESS
# being its subnet and its MAC "-".
#
# The router counts the paging datagrams (UDP port 1901) it forwards, and among them those to an
# address outside the subnets last declared to it ("paging-count PREFIX declare CIDR ..." sets
# them and zeroes both counts; "paging-count PREFIX read" prints "paged N undeclared M"). It
# forwards them all, so that an element outside would answer, and shows it. Needs nftables.
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
            "$prefix"-sw|"$prefix"-st|"$prefix"-rt|"$prefix"-lc|"$prefix"-sc|"$prefix"-e[0-9]*)
                kill_inside "$ns"
                ip netns del "$ns" 2>/dev/null || true ;;
        esac
    done
}

destroy_stale() {
    local family=${1:-vnt} ns pid prefix
    [ -d /run/netns ] || return 0
    for ns in $(ls /run/netns); do
        [[ "$ns" =~ ^(${family}([0-9]+)_[0-9]+)-(sw|st|rt|lc|sc|e[0-9]+)$ ]] || continue
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

# A namespace with lo up, IPv6 off (no router solicitations or reports on the links).
add_ns() {
    ip netns add "$1"
    ip -n "$1" link set lo up
    ip netns exec "$1" sysctl -q -w net.ipv6.conf.all.disable_ipv6=1 net.ipv6.conf.default.disable_ipv6=1 >/dev/null
}

# A veth from bridge BRIDGE of the switch namespace into namespace NS as eth0 (or IF).
plug() {
    local sw=$1 bridge=$2 port=$3 ns=$4 if=${5:-eth0}
    ip -n "$sw" link add "$port" type veth peer name "$if" netns "$ns"
    ip -n "$sw" link set "$port" master "$bridge" up
}

create_routed() {
    local prefix=$1 sites=$2 elements=$3
    [[ "$sites" =~ ^[0-9]+$ ]] && [ "$sites" -ge 1 ] && [ "$sites" -le 250 ] || die "SITES must be 1 to 250"
    [[ "$elements" =~ ^[0-9]+$ ]] && [ "$elements" -le $((50 * sites)) ] || die "ELEMENTS must be 0 to 50 per site"
    ns_exists "$prefix-sw" && die "$prefix exists already"
    trap 'destroy "$prefix"' ERR

    local sw=$prefix-sw st=$prefix-st rt=$prefix-rt s i ns
    for ns in "$sw" "$st" "$rt" "$prefix-lc" "$prefix-sc"; do add_ns "$ns"; done
    for i in 1 2; do
        ip -n "$sw" link add "br$i" type bridge forward_delay 0 stp_state 0
        ip -n "$sw" link set "br$i" up
    done
    plug "$sw" br1 st "$st"
    ip -n "$st" link set eth0 address "$(mac 0 255 255 1)"
    ip -n "$st" addr add 10.210.0.1/24 broadcast 10.210.0.255 dev eth0
    ip -n "$st" link set eth0 up
    # Everything off the segment goes to the router, which counts what it is asked to forward.
    ip -n "$st" route add default via 10.210.0.254

    plug "$sw" br1 rt "$rt"
    plug "$sw" br2 rts "$rt" eth1
    ip -n "$rt" link set eth0 address "$(mac 0 254 254 254)"
    ip -n "$rt" link set eth1 address "$(mac 1 254 254 254)"
    ip -n "$rt" addr add 10.210.0.254/24 broadcast 10.210.0.255 dev eth0
    for ((s = 1; s <= sites; s++)); do
        ip -n "$rt" addr add "10.211.$s.254/24" broadcast "10.211.$s.255" dev eth1
    done
    ip -n "$rt" link set eth0 up
    ip -n "$rt" link set eth1 up
    ip netns exec "$rt" sysctl -q -w net.ipv4.ip_forward=1 net.ipv4.conf.all.proxy_arp=0 \
        net.ipv4.conf.eth0.proxy_arp=0 net.ipv4.conf.eth1.proxy_arp=0 >/dev/null
    # A scan pages every address of a site, most of them vacant; each is an unresolved neighbour
    # of the router until its ARP requests go unanswered, in a table the whole host shares (see
    # below). Elements answer ARP within milliseconds, so giving up after 3 x 100 ms keeps those
    # entries to a few hundred rather than thousands at a time.
    ip netns exec "$rt" sysctl -q -w net.ipv4.neigh.eth1.retrans_time_ms=100 >/dev/null
    if command -v nft >/dev/null; then
        ip netns exec "$rt" nft -f - <<'EOF'
table ip vtb {
    set declared { type ipv4_addr; flags interval; auto-merge; }
    counter paged {}
    counter undeclared {}
    chain forward {
        type filter hook forward priority filter; policy accept;
        udp dport 1901 counter name "paged"
        udp dport 1901 ip daddr != @declared counter name "undeclared"
    }
}
EOF
    fi

    plug "$sw" br1 lc "$prefix-lc"
    plug "$sw" br2 sc "$prefix-sc"
    ip -n "$prefix-lc" link set eth0 up
    ip -n "$prefix-sc" link set eth0 up

    echo "station $st eth0 10.210.0.1 $(mac 0 255 255 1) 0"
    echo "router $rt eth0 10.210.0.254 $(mac 0 254 254 254) 0"
    echo "crowd $prefix-lc eth0 10.210.0.0/24 - 0"
    echo "crowd $prefix-sc eth0 10.211.0.0/16 - 1"
    for ((i = 1; i <= elements; i++)); do
        s=$((1 + (i - 1) % sites))
        local j=$((1 + (i - 1) / sites)) address
        address=10.211.$s.$((200 + j))
        ns=$prefix-e$i
        add_ns "$ns"
        plug "$sw" br2 "e$i" "$ns"
        ip -n "$ns" link set eth0 address "$(mac "$s" $((i >> 8)) $((i & 255)) 2)"
        ip -n "$ns" addr add "$address/24" broadcast "10.211.$s.255" dev eth0
        ip -n "$ns" link set eth0 up
        ip -n "$ns" route add default via "10.211.$s.254"
        echo "element $ns eth0 $address $(mac "$s" $((i >> 8)) $((i & 255)) 2) $s"
    done
    trap - ERR
}

paging_count() {
    local prefix=$1 verb=${2:-}
    shift 2 || true
    command -v nft >/dev/null || die "nftables (nft) is missing"
    local rt=$prefix-rt
    ns_exists "$rt" || die "no router $rt"
    case "$verb" in
        declare)
            local cidr list=""
            for cidr in "$@"; do
                [[ "$cidr" =~ ^[0-9]+\.[0-9]+\.[0-9]+\.[0-9]+/[0-9]+$ ]] || die "not a subnet: $cidr"
                list+="${list:+, }$cidr"
            done
            ip netns exec "$rt" nft flush set ip vtb declared
            [ -z "$list" ] || ip netns exec "$rt" nft add element ip vtb declared "{ $list }"
            ip netns exec "$rt" nft reset counters table ip vtb >/dev/null ;;
        read)
            ip netns exec "$rt" nft list counters table ip vtb | awk '
                $1 == "counter" { name = $2 }
                $1 == "packets" { n[name] = $2 }
                END { printf "paged %d undeclared %d\n", n["paged"], n["undeclared"] }' ;;
        *) die "usage: paging-count PREFIX declare [CIDR ...] | paging-count PREFIX read" ;;
    esac
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
    create-routed) [ $# -ge 3 ] || die "usage: $0 create-routed PREFIX SITES [ELEMENTS]"; create_routed "$2" "$3" "${4:-0}" ;;
    paging-count) [ $# -ge 3 ] || die "usage: $0 paging-count PREFIX declare [CIDR ...] | read"; shift; paging_count "$@" ;;
    destroy) [ $# -eq 2 ] || die "usage: $0 destroy PREFIX"; destroy "$2" ;;
    destroy-stale) destroy_stale "${2:-vnt}" ;;
    neighbour-limits)
        case "${2:-}" in
            raise) [ $# -eq 4 ] || die "usage: $0 neighbour-limits raise ENTRIES STATEFILE"; neighbour_limits_raise "$3" "$4" ;;
            restore) [ $# -eq 3 ] || die "usage: $0 neighbour-limits restore STATEFILE"; neighbour_limits_restore "$3" ;;
            *) die "usage: $0 neighbour-limits raise ENTRIES STATEFILE | neighbour-limits restore STATEFILE" ;;
        esac ;;
    *) die "usage: $0 create PREFIX ELEMENTS [NETWORKS] | create-routed PREFIX SITES [ELEMENTS] | paging-count ... | destroy PREFIX | destroy-stale [FAMILY] | neighbour-limits ..." ;;
esac
