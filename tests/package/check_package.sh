#!/usr/bin/env bash
# Builds the Debian package from a build folder whose programs are built, and checks it as a
# user's system would meet it: the files it holds, its maintainer scripts and dependencies,
# lintian (no error), and the programs running from the unpacked tree.
#
#   check_package.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: check_package.sh BUILD_DIR}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
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
         /usr/share/vantrelo-nms/prometheus/vantrelo-nms.rules.yml \
         /usr/share/doc/vantrelo-nms/examples/prometheus.yml \
         /usr/share/doc/vantrelo-nms/copyright /usr/share/doc/vantrelo-nms/changelog.gz; do
    grep -qx "$f" "$work/files" || fail "missing $f"
done
# Nothing outside /usr: no configuration file to keep on purge, no test program.
if grep -v '^/usr' "$work/files" | grep -v '^/$' | grep -q .; then
    fail "files outside /usr: $(grep -v '^/usr' "$work/files" | grep -v '^/$' | tr '\n' ' ')"
fi
grep -q 'nms_.*_tests\|bench_' "$work/files" && fail "a test or benchmark program is packaged"

# --- Control data: computed dependencies, the maintainer scripts.
dpkg-deb --field "$deb" Depends >"$work/depends"
grep -q 'libqt6widgets6' "$work/depends" || fail "Depends lacks the Qt libraries: $(cat "$work/depends")"
grep -q 'libc6' "$work/depends" || fail "Depends lacks libc6: $(cat "$work/depends")"
mkdir "$work/control"
dpkg-deb --control "$deb" "$work/control"
grep -q 'setcap cap_net_raw+ep /usr/bin/nms' "$work/control/postinst" || fail "postinst sets no capability"
[ -x "$work/control/postinst" ] || fail "postinst is not executable"
sh -n "$work/control/postinst" && sh -n "$work/control/postrm" || fail "a maintainer script does not parse"

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
echo "package checks passed"
