#!/usr/bin/env bash
# Builds the Debian package from the build folder $1, unpacks it into a temporary root and
# checks what an installer relies on. Any failed check ends the test with its message.
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/out/*.deb)
dpkg-deb -x "$deb" "$work/root"
usr=$work/root/usr

# The dependencies come from the shared-library scan: Qt and the C++ library at least.
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 libstdc++6; do
  [[ $depends == *"$lib"* ]] || fail "Depends lacks $lib: $depends"
done

# Every file where an installer expects it.
for f in bin/mzr4700 bin/mzr4700ctl bin/mzr4700-sim share/applications/mzr4700.desktop \
         share/icons/hicolor/scalable/apps/mzr4700.svg share/icons/hicolor/48x48/apps/mzr4700.png \
         share/mime/packages/mzr4700.xml lib/systemd/system/mzr4700-bridge@.service \
         lib/sysusers.d/mzr4700-bridge.conf; do
  [ -f "$usr/$f" ] || fail "missing /usr/$f"
done
# The bridge's options: a conffile, kept on upgrades and removed on purge with the service's
# user; running instances restarted on upgrade.
dpkg-deb -e "$deb" "$work/control"
[ -f "$work/root/etc/default/mzr4700-bridge" ] || fail "missing /etc/default/mzr4700-bridge"
grep -qx '/etc/default/mzr4700-bridge' "$work/control/conffiles" || fail "/etc/default/mzr4700-bridge is no conffile"
for s in postinst prerm postrm; do [ -x "$work/control/$s" ] || fail "no executable $s"; sh -n "$work/control/$s" || fail "$s"; done
grep -q 'mzr4700-bridge.conf' "$work/control/postinst" || fail "postinst does not create the bridge's user"
grep -q "try-restart 'mzr4700-bridge@\*.service'" "$work/control/postinst" || fail "postinst does not restart the bridges"
grep -q 'deluser --system' "$work/control/postrm" || fail "postrm does not remove the bridge's user on purge"
grep -q '^Type=notify' "$usr/lib/systemd/system/mzr4700-bridge@.service" || fail "the bridge service does not wait for READY=1"
# The service's hardening, as systemd rates it: 2.5 at most.
exposure=$(systemd-analyze security --offline=true "$usr/lib/systemd/system/mzr4700-bridge@.service" 2>&1 |
           sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p')
[ -n "$exposure" ] && awk -v e="$exposure" 'BEGIN { exit !(e <= 2.5) }' || fail "the bridge service's exposure is '$exposure', above 2.5"
grep -q '^ExecStart=/usr/bin/mzr4700ctl .*bridge --unit %I' "$usr/lib/systemd/system/mzr4700-bridge@.service" ||
  fail "the bridge service does not start mzr4700ctl bridge for its instance"
[ "$(identify -format '%wx%h' "$usr/share/icons/hicolor/48x48/apps/mzr4700.png")" = 48x48 ] || fail "PNG icon is not 48x48"

# --version and --help of the three installed programs, with no display.
export QT_QPA_PLATFORM=offscreen
unset DISPLAY WAYLAND_DISPLAY
for p in mzr4700 mzr4700ctl mzr4700-sim; do
  version=$("$usr/bin/$p" --version) || fail "$p --version exited $?"
  [ "$version" = "$p 1.0.1.3" ] || fail "$p --version said '$version'"
  # Read whole first: grep -q leaves at its first match, and a program still writing its help
  # then ends by SIGPIPE, which pipefail would count as a failure.
  help=$("$usr/bin/$p" --help) || fail "$p --help exited $?"
  grep -q "$p" <<<"$help" || fail "$p --help does not name the program"
done
# Started without any display the window program says so in one line and exits non-zero.
if out=$(env -u QT_QPA_PLATFORM "$usr/bin/mzr4700" 2>&1); then fail "mzr4700 without a display exited 0"; fi
[ "$(printf '%s\n' "$out" | wc -l)" = 1 ] && [[ $out == *"no display"* ]] || fail "no-display message: $out"

desktop-file-validate "$usr/share/applications/mzr4700.desktop" || fail "desktop-file-validate"
grep -q '^MimeType=application/x-mzr4700-project;$' "$usr/share/applications/mzr4700.desktop" || fail "no MimeType"

# The file type: a database of the system's types plus the package's, built in the
# temporary folder, asked through GIO as a file manager asks.
mkdir -p "$work/share/mime/packages" "$work/home"
cp /usr/share/mime/packages/freedesktop.org.xml "$usr/share/mime/packages/mzr4700.xml" "$work/share/mime/packages/"
update-mime-database "$work/share/mime"
export XDG_DATA_DIRS=$work/share XDG_DATA_HOME=$work/home
content_type() { gio info -a standard::content-type "$1" 2>/dev/null | sed -n 's/.*standard::content-type: //p'; }
printf 'MZR4700DAT\0' >"$work/header"
head -c 852 /dev/zero >>"$work/header"
cp "$work/header" "$work/Hall_1_1.KVdat"       # the name backup --all gives
cp "$work/header" "$work/approved-setup"       # no extension: the magic alone
printf 'MZ\x90\0' >"$work/tool"                # a real DOS executable's start
head -c 200 /dev/zero >>"$work/tool"
[ "$(content_type "$work/Hall_1_1.KVdat")" = application/x-mzr4700-project ] || fail "KVdat: $(content_type "$work/Hall_1_1.KVdat")"
[ "$(content_type "$work/approved-setup")" = application/x-mzr4700-project ] || fail "magic: $(content_type "$work/approved-setup")"
[ "$(content_type "$work/tool")" = application/x-ms-dos-executable ] || fail "DOS executable: $(content_type "$work/tool")"
grep -q 'mzr4700.xml' <(ls "$work/share/mime/packages") || fail "database source missing"
grep -q 'MZR4700 工程文件' "$work/share/mime/application/x-mzr4700-project.xml" || fail "no Chinese comment in the database"
# The installed program opens a project file named on its command line (as the desktop
# entry's %f passes it): its window caption names the file once Open has taken it.
# Xvfb picks a free display itself and writes its number once it listens: a display chosen
# beforehand may be taken by another X server between the check and the start.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
app=
trap 'kill $app $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 600); do [ -s "$work/display" ] && break; kill -0 "$xvfb" 2>/dev/null || break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start"
export DISPLAY=:$(tr -d '[:space:]' <"$work/display")
xdpyinfo >/dev/null 2>&1 || fail "Xvfb on $DISPLAY does not answer"
(cd "$work" && exec env -u QT_QPA_PLATFORM MZR4700_LOCAL_IP=127.0.0.1 MZR4700_PORT=$((20000 + RANDOM % 20000)) "$usr/bin/mzr4700" Hall_1_1.KVdat >"$work/program.log" 2>&1) &
app=$!
opened=
# A loaded machine may take a while to show the window; the wait ends as soon as it does.
for _ in $(seq 900); do
  if xdotool search --name "$work/Hall_1_1.KVdat" >/dev/null 2>&1; then opened=1; break; fi
  kill -0 "$app" 2>/dev/null || break
  sleep 0.1
done
[ -n "$opened" ] || fail "the window caption never named the file given on the command line: $(cat "$work/program.log")"
echo "package test passed: $(basename "$deb")"
