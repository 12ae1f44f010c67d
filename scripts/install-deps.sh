#!/usr/bin/env bash
# Installs the Debian packages the station needs to build, test and run. Safe to run again:
# it only installs what is missing.
set -euo pipefail
packages=(
  cmake ninja-build g++ pkg-config locales
  qt6-base-dev qt6-svg-dev libqt6svg6 qt6-charts-dev libqt6opengl6-dev libsqlite3-dev sqlite3
  libmicrohttpd-dev libgnutls28-dev libyaml-cpp-dev libcrypt-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  clang-14 libclang-rt-14-dev
  iproute2 iputils-ping nftables
  xvfb xauth xdotool
  dpkg-dev file lintian desktop-file-utils appstream libcap2-bin systemd acl qt6-qpa-plugins
  prometheus prometheus-alertmanager chromium chromium-driver python3-selenium
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
  # The web tests run a Prometheus and an Alertmanager of their own on free loopback ports; the
  # services Debian starts on installation would hold ports 9090, 9093 and 9094 for nothing, so
  # they are stopped and kept off.
  for service in prometheus prometheus-alertmanager; do
    if [[ " ${missing[*]} " == *" $service "* ]]; then
      if [ -d /run/systemd/system ]; then
        $SUDO systemctl disable --now "$service" >/dev/null 2>&1 || true
      elif [ -x "/etc/init.d/$service" ]; then
        $SUDO "/etc/init.d/$service" stop >/dev/null 2>&1 || true
        $SUDO update-rc.d "$service" disable >/dev/null 2>&1 || true
      fi
    fi
  done
fi

# The locale tests run the station under decimal-comma locales, which a fresh machine lacks (the
# tests fail without them rather than prove nothing).
available=$(locale -a 2>/dev/null || true)
for name in de_DE fr_FR; do
  if ! grep -qixE "$name\.utf-?8" <<<"$available"; then
    echo "creating the locale $name.UTF-8"
    if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
    $SUDO localedef -i "$name" -f UTF-8 "$name.UTF-8"
  fi
done

# The station's ping needs an ICMP socket. Root can always open one; for a normal user, say how
# to allow it (nothing is changed here).
if [ "$(id -u)" -ne 0 ] && [ -r /proc/sys/net/ipv4/ping_group_range ]; then
  read -r low high < /proc/sys/net/ipv4/ping_group_range
  gid=$(id -g)
  if [ "$gid" -lt "$low" ] || [ "$gid" -gt "$high" ]; then
    echo "note: this user may not send pings; run scripts/enable-ping.sh to allow it (see README)."
  fi
fi
