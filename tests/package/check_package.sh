#!/usr/bin/env bash
# Builds the Debian package from a build folder whose programs are built, and checks it as a
# user's system would meet it: the files it holds, its maintainer scripts and dependencies,
# lintian (no error), the system service's unit and user, the programs running from the unpacked
# tree, and, as root, an installation and a purge that leaves nothing behind.
#
#   check_package.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: check_package.sh BUILD_DIR}" && pwd)
work=$(mktemp -d)
installed=no
cleanup() {
    # A check that failed half-way through the installation must not leave the package behind.
    if [ "$installed" = yes ]; then dpkg --purge vantrelo-nms >/dev/null 2>&1 || true; fi
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "check_package: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; fail "cpack failed"; }
deb=$(ls "$work"/out/*.deb)
[ -f "$deb" ] || fail "no package made"
echo "package: $(basename "$deb") ($(du -k "$deb" | cut -f1) KiB)"

# --- Contents.
dpkg-deb --contents "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$work/files"
for f in /usr/bin/nms /usr/bin/nms-cli /usr/bin/vantrelo-element-sim \
         /usr/share/applications/com.kestrova.VantreloNMS.desktop \
         /usr/share/icons/hicolor/scalable/apps/vantrelo-nms.svg \
         /usr/share/metainfo/com.kestrova.VantreloNMS.metainfo.xml \
         /usr/share/man/man1/nms.1.gz /usr/share/man/man1/nms-cli.1.gz \
         /usr/share/man/man1/vantrelo-element-sim.1.gz \
         /usr/lib/sysctl.d/60-vantrelo-nms.conf /usr/lib/systemd/user/nms-monitor.service \
         /usr/lib/systemd/system/vantrelo-nms-monitor.service /usr/lib/sysusers.d/vantrelo-nms.conf \
         /usr/libexec/vantrelo-nms/textfile-access /etc/vantrelo-nms/monitor.conf \
         /usr/share/vantrelo-nms/prometheus/vantrelo-nms.rules.yml \
         /usr/share/doc/vantrelo-nms/examples/prometheus.yml \
         /usr/share/doc/vantrelo-nms/copyright /usr/share/doc/vantrelo-nms/changelog.gz; do
    grep -qx "$f" "$work/files" || fail "missing $f"
done
# Nothing outside /usr but the system service's configuration, and that is a conffile (an
# upgrade keeps the administrator's edits); no test program.
grep -v '^/usr' "$work/files" | grep -vx '/\|/etc/\|/etc/vantrelo-nms/\|/etc/vantrelo-nms/monitor.conf' \
    >"$work/outside" || true
[ -s "$work/outside" ] && fail "files outside /usr: $(tr '\n' ' ' <"$work/outside")"
grep -q 'nms_.*_tests\|bench_' "$work/files" && fail "a test or benchmark program is packaged"

# --- Control data: computed dependencies, the maintainer scripts.
dpkg-deb --field "$deb" Depends >"$work/depends"
grep -q 'libqt6widgets6' "$work/depends" || fail "Depends lacks the Qt libraries: $(cat "$work/depends")"
grep -q 'libc6' "$work/depends" || fail "Depends lacks libc6: $(cat "$work/depends")"
mkdir "$work/control"
dpkg-deb --control "$deb" "$work/control"
grep -q 'setcap cap_net_raw+ep /usr/bin/nms' "$work/control/postinst" || fail "postinst sets no capability"
for script in postinst prerm postrm; do
    if ! [ -x "$work/control/$script" ] || ! sh -n "$work/control/$script"; then
        fail "$script is not an executable sh script"
    fi
done
[ "$(cat "$work/control/conffiles" 2>/dev/null)" = /etc/vantrelo-nms/monitor.conf ] ||
    fail "conffiles does not list exactly /etc/vantrelo-nms/monitor.conf"

# --- lintian: no error (warnings are listed for the reader).
if command -v lintian >/dev/null; then
    lintian --tag-display-limit 0 "$deb" >"$work/lintian" 2>&1 || true
    cat "$work/lintian"
    if grep -q '^E:' "$work/lintian"; then fail "lintian reports errors"; fi
else
    fail "lintian is not installed (scripts/install-deps.sh installs it)"
fi
if command -v desktop-file-validate >/dev/null; then
    dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/applications/com.kestrova.VantreloNMS.desktop \
        >"$work/entry.desktop"
    desktop-file-validate --no-hints "$work/entry.desktop" || fail "the desktop entry is not valid"
fi
if command -v appstreamcli >/dev/null; then
    dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/metainfo/com.kestrova.VantreloNMS.metainfo.xml \
        >"$work/com.kestrova.VantreloNMS.metainfo.xml"
    appstreamcli validate --no-net --pedantic "$work/com.kestrova.VantreloNMS.metainfo.xml" >"$work/appstream" 2>&1 ||
        { cat "$work/appstream"; grep -qE '^E:|error' "$work/appstream" && fail "AppStream data is not valid"; }
fi

# --- The programs run from the unpacked tree.
dpkg-deb --extract "$deb" "$work/root"
version=$("$work/root/usr/bin/nms-cli" --version)
echo "unpacked: $version"
[[ "$version" == *"3.7.8"* ]] || fail "nms-cli --version says: $version"
"$work/root/usr/bin/vantrelo-element-sim" --help >/dev/null || fail "vantrelo-element-sim does not run"
QT_QPA_PLATFORM=offscreen "$work/root/usr/bin/nms" --help >/dev/null || fail "nms does not run"
file "$work/root/usr/bin/nms" | grep -q 'stripped' && ! file "$work/root/usr/bin/nms" | grep -q 'not stripped' ||
    fail "nms is not stripped"

# --- The system service. systemd-analyze verify checks that the programs a unit names exist, on
# this machine: the unit is checked with its /usr/ paths turned into the unpacked tree's, so that
# they must be the package's own. Any message fails it, an unknown key as much as a bad path.
unit=$work/root/usr/lib/systemd/system/vantrelo-nms-monitor.service
mkdir "$work/unit"
sed "s|=\([-+!@:]*\)/usr/|=\1$work/root/usr/|" "$unit" >"$work/unit/vantrelo-nms-monitor.service"
systemd-analyze verify --man=no "$work/unit/vantrelo-nms-monitor.service" >"$work/verify" 2>&1 ||
    { cat "$work/verify"; fail "systemd-analyze verify refuses the unit"; }
[ -s "$work/verify" ] && { cat "$work/verify"; fail "systemd-analyze verify warns about the unit"; }
grep -qx 'WantedBy=multi-user.target' "$unit" || fail "the unit is not for multi-user.target"
systemd-analyze security --offline=yes "$unit" >"$work/security" 2>&1 ||
    { cat "$work/security"; fail "systemd-analyze security failed"; }
exposure=$(grep 'Overall exposure level' "$work/security" | sed 's/.*: //')
echo "service exposure: $exposure"
[[ "$exposure" =~ ^[0-9.]+\ (OK|SAFE|PERFECT) ]] || { cat "$work/security"; fail "the service is too exposed: $exposure"; }
# Its user, as postinst makes it, in a scratch root.
mkdir -p "$work/sysroot/etc" "$work/sysroot/usr/lib/sysusers.d"
cp "$work/root/usr/lib/sysusers.d/vantrelo-nms.conf" "$work/sysroot/usr/lib/sysusers.d/"
systemd-sysusers --root="$work/sysroot" vantrelo-nms.conf || fail "systemd-sysusers refuses the user"
grep -q '^vantrelo-nms:x:[0-9]*:[0-9]*:.*:/var/lib/vantrelo-nms:/usr/sbin/nologin$' "$work/sysroot/etc/passwd" ||
    fail "no system user vantrelo-nms: $(cat "$work/sysroot/etc/passwd")"
echo "package checks passed"

# --- Installation and purge, as root on a machine without the package: the user is made, the
# unit and the configuration are in place, the service stays off; node_exporter's folder is
# opened to the user, but not through a symlink; a purge takes every file, the configuration
# and the service's state. Dependencies come from scripts/install-deps.sh.
if [ "$(id -u)" -ne 0 ] || ! command -v dpkg >/dev/null; then
    echo "installation check skipped: needs root and dpkg"
    exit 0
fi
if dpkg-query -W -f='${Status}' vantrelo-nms 2>/dev/null | grep -qv 'not-installed'; then
    echo "installation check skipped: vantrelo-nms is installed on this machine (or its configuration is left)"
    exit 0
fi
installed=yes
if ! dpkg -i "$deb" >"$work/dpkg" 2>&1; then
    cat "$work/dpkg"
    grep -E 'depends on|is not installed' "$work/dpkg" >&2 || true
    fail "dpkg -i failed (missing dependencies are listed above)"
fi
getent passwd vantrelo-nms >/dev/null || fail "postinst made no user vantrelo-nms"
[ -f /usr/lib/systemd/system/vantrelo-nms-monitor.service ] || fail "the unit is not installed"
[[ "$(dpkg-query -W -f='${Conffiles}' vantrelo-nms)" == *' /etc/vantrelo-nms/monitor.conf '* ]] ||
    fail "monitor.conf is not a conffile of the installed package"
[ -z "$(find /etc/systemd -name vantrelo-nms-monitor.service)" ] || fail "the installation enabled the service"
mkdir -p "$work/prom/node-exporter" "$work/elsewhere"
access=/usr/libexec/vantrelo-nms/textfile-access
"$access" grant "$work/prom/node-exporter"
[[ "$(getfacl -cp "$work/prom/node-exporter")" == *user:vantrelo-nms:rwx* ]] || fail "textfile-access grants nothing"
"$access" revoke "$work/prom/node-exporter"
[[ "$(getfacl -cp "$work/prom/node-exporter")" == *vantrelo-nms* ]] && fail "textfile-access revokes nothing"
rmdir "$work/prom/node-exporter" && ln -s "$work/elsewhere" "$work/prom/node-exporter"
"$access" grant "$work/prom/node-exporter" 2>/dev/null
[[ "$(getfacl -cp "$work/elsewhere")" == *vantrelo-nms* ]] && fail "textfile-access followed a symlink"
# What a running service leaves: its database in its state directory.
install -d -o vantrelo-nms -g vantrelo-nms /var/lib/vantrelo-nms
install -o vantrelo-nms -g vantrelo-nms /dev/null /var/lib/vantrelo-nms/nms.ini
dpkg --purge vantrelo-nms >"$work/dpkg" 2>&1 || { cat "$work/dpkg"; fail "dpkg --purge failed"; }
installed=no
dpkg-query -W -f='${Status}' vantrelo-nms 2>/dev/null | grep -qv 'not-installed' &&
    fail "the package is still known to dpkg after its purge"
left=$(grep -v '/$' "$work/files" | while read -r f; do [ -e "$f" ] && echo "$f"; done || true)
[ -z "$left" ] || fail "left after the purge: $left"
for d in /etc/vantrelo-nms /var/lib/vantrelo-nms /usr/libexec/vantrelo-nms; do
    [ -e "$d" ] && fail "left after the purge: $d"
done
echo "installation and purge checks passed"
