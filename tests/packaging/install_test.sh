#!/usr/bin/env bash
# Installs the build into a scratch root (and, with --deb, builds the Debian
# package and unpacks it there instead), checks the layout and metadata, and
# starts the installed program headless until its main page reports in.
#   install_test.sh BUILD_DIR [--deb]
set -euo pipefail
build=$1
mode=${2:-install}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

if [ "$mode" = --deb ]; then
  (cd "$build" && cpack -G DEB -B "$scratch/pkg" >/dev/null)
  deb=$(ls "$scratch"/pkg/*.deb)
  # Read whole before matching: grep -q stops early, and under pipefail the
  # writer's broken pipe would count as a failure.
  info=$(dpkg-deb --info "$deb")
  grep -q 'Depends:.*libqt5webenginewidgets5' <<<"$info" || { echo "FAIL: package lacks its Qt WebEngine dependency"; exit 1; }
  dpkg -x "$deb" "$scratch/root"
  prefix="$scratch/root/usr"
else
  DESTDIR="$scratch/root" cmake --install "$build" --prefix /usr >/dev/null
  prefix="$scratch/root/usr"
fi

lib="$prefix/lib/korvane"
for f in korvane salvane dumper html/index.html html/installmonitor.html languages/lang_zh_CN.qm; do
  [ -e "$lib/$f" ] || { echo "FAIL: $lib/$f missing"; exit 1; }
done
[ "$(readlink "$prefix/bin/korvane")" = ../lib/korvane/korvane ] || { echo "FAIL: bin/korvane is not the launcher link"; exit 1; }
# The terminal front end: its link, man page and bash completion, and it runs
# from its installed place without a display.
[ "$(readlink "$prefix/bin/korvanectl")" = ../lib/korvane/korvanectl ] || { echo "FAIL: bin/korvanectl is not a link"; exit 1; }
[ -f "$prefix/share/man/man1/korvanectl.1" ] || { echo "FAIL: korvanectl man page missing"; exit 1; }
[ -f "$prefix/share/bash-completion/completions/korvanectl" ] || { echo "FAIL: korvanectl completion missing"; exit 1; }
bash -n "$prefix/share/bash-completion/completions/korvanectl"
ctl_version=$(env -i PATH=/usr/bin:/bin "$prefix/bin/korvanectl" --version)
grep -q '^korvanectl [0-9]' <<<"$ctl_version" || { echo "FAIL: korvanectl --version said: $ctl_version"; exit 1; }
desktop-file-validate "$prefix/share/applications/korvane.desktop"
appstreamcli validate --no-net --pedantic "$prefix/share/metainfo/com.velmora.Korvane.metainfo.xml" >/dev/null
[ -f "$prefix/share/icons/hicolor/scalable/apps/korvane.svg" ] || { echo "FAIL: icon missing"; exit 1; }

# The polkit actions of the privileged repairs and CUPS commands: well-formed,
# valid against polkit's DTD, naming the installed salvane and the commands
# with their own messages; an authorisation is kept a while except for lp.
policy="$prefix/share/polkit-1/actions/com.velmora.korvane.policy"
[ -f "$policy" ] || { echo "FAIL: polkit policy missing"; exit 1; }
dtd=/usr/share/polkit-1/policyconfig-1.dtd
if command -v xmllint >/dev/null; then
  if [ -f "$dtd" ]; then xmllint --noout --dtdvalid "$dtd" "$policy"; else xmllint --noout "$policy"; fi
fi
policy_text=$(cat "$policy")
grep -q '<annotate key="org.freedesktop.policykit.exec.path">/usr/lib/korvane/salvane</annotate>' <<<"$policy_text" \
  || { echo "FAIL: the policy does not name the installed salvane"; exit 1; }
grep -q '<annotate key="org.freedesktop.policykit.exec.path">/usr/sbin/lpadmin</annotate>' <<<"$policy_text" \
  || { echo "FAIL: the policy does not name lpadmin"; exit 1; }
# Each CUPS command the privileged retry runs has an action of its own naming
# the path the program runs it by (the build's setting, which must be the
# command's real place here) with English and Chinese texts.
for tool in lpadmin cupsenable cupsdisable cupsaccept cupsreject cancel lp; do
  upper=$(tr '[:lower:]' '[:upper:]' <<<"$tool")
  path=$(sed -n "s/^KORVANE_${upper}_PATH:[A-Z]*=//p" "$build/CMakeCache.txt")
  [ -n "$path" ] || { echo "FAIL: the build has no path for $tool"; exit 1; }
  [ -x "$path" ] || { echo "FAIL: $tool is not at $path on this system"; exit 1; }
  action=$(sed -n "/<action id=\"com.velmora.korvane.$tool\">/,/<\/action>/p" "$policy")
  grep -qF "<annotate key=\"org.freedesktop.policykit.exec.path\">$path</annotate>" <<<"$action" \
    || { echo "FAIL: the action for $tool does not name $path"; exit 1; }
  grep -q '<message xml:lang="zh_CN">' <<<"$action" && grep -q "<message>A program wants to .* with $tool" <<<"$action" \
    || { echo "FAIL: the action for $tool lacks its messages"; exit 1; }
  # lp run as root reads and prints any file it is given: asked every time.
  keep=auth_admin_keep
  [ "$tool" = lp ] && keep=auth_admin
  grep -q "<allow_active>$keep</allow_active>" <<<"$action" \
    || { echo "FAIL: the action for $tool does not ask as it should ($keep)"; exit 1; }
done
[ "$(grep -c '<allow_active>auth_admin_keep</allow_active>' <<<"$policy_text")" = 7 ] \
  || { echo "FAIL: the policy's actions do not keep the authorisation"; exit 1; }
grep -q 'Korvane wants to repair printing' <<<"$policy_text" || { echo "FAIL: the policy lacks its message"; exit 1; }

# Start it from its installed place; it must find its pages beside itself.
home="$scratch/home"
mkdir -p "$home" && chmod 700 "$home"
log="$scratch/run.log"
env -i PATH=/usr/bin:/bin HOME="$home" XDG_RUNTIME_DIR="$home" QT_QPA_PLATFORM=offscreen QT_QUICK_BACKEND=software \
    QTWEBENGINE_DISABLE_SANDBOX=1 QTWEBENGINE_CHROMIUM_FLAGS="--disable-gpu --no-sandbox" \
    CUPS_SERVER="$scratch/no-scheduler.sock" QT_LOGGING_RULES="default.debug=true" \
    "$prefix/bin/korvane" >"$log" 2>&1 &
pid=$!
for _ in $(seq 1 120); do
  grep -q 'userLoginByCpp' "$log" && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.5
done
kill "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true
if ! grep -q 'userLoginByCpp' "$log"; then
  echo "FAIL: the installed program's main page never reported in"; tail -20 "$log"; exit 1
fi
echo "installed layout, metadata and start: ok ($mode)"
