#!/usr/bin/env bash
# Lets every user of this computer send ICMP echo requests through an unprivileged ICMP
# socket, which the station's ping uses. Debian leaves net.ipv4.ping_group_range at "1 0"
# (nobody). This script shows what it would change and asks before changing anything.
set -euo pipefail

dropin=/etc/sysctl.d/60-vantrelo-nms-ping.conf
setting='net.ipv4.ping_group_range = 0 2147483647'

current=$(cat /proc/sys/net/ipv4/ping_group_range 2>/dev/null || echo "unknown")
echo "net.ipv4.ping_group_range is now: $current"
if [ "$current" = "$(printf '0\t2147483647')" ]; then
    echo "Every group may already ping; nothing to do."
    exit 0
fi
echo "This would write $dropin with:"
echo "    $setting"
echo "and apply it at once (sudo is used when you are not root)."
read -r -p "Change it? [y/N] " answer
case "$answer" in
    y|Y|yes|Yes) ;;
    *) echo "Nothing changed."; exit 0 ;;
esac

run() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }
echo "$setting" | run tee "$dropin" >/dev/null
run sysctl -q -p "$dropin"
echo "Done: net.ipv4.ping_group_range is now $(cat /proc/sys/net/ipv4/ping_group_range)."
