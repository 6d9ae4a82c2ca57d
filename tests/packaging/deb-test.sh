#!/usr/bin/env bash
# deb-test.sh BUILD_DIR APP_ID: builds the Debian package from the build folder with CPack (in a
# folder of its own), checks it with lintian (no errors), unpacks it into a temporary root with
# dpkg-deb -x and checks that every file a desktop expects is there, that tellamo-convert
# --help runs from it and that tellamo starts on the offscreen platform against a temporary
# HOME and ends with status 0 on SIGTERM.
set -euo pipefail
source "$(dirname "$0")/../e2e/lib.sh"
build_dir=$1
id=$2
work=$(mktemp -d)
cleanup() {
  if [[ -n ${APP_PID:-} ]]; then kill "$APP_PID" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

cpack --config "$build_dir/CPackConfig.cmake" -G DEB -B "$work/package" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack failed"; }
deb=$(ls "$work"/package/tellamo_*.deb)
echo "package: $(basename "$deb")"
dpkg-deb --field "$deb" Package Version Section Depends

# lintian: errors fail the test; warnings are shown.
lintian_output=$(lintian --tag-display-limit 0 "$deb" 2>&1) || true
echo "$lintian_output"
if grep -q '^E: ' <<<"$lintian_output"; then fail "lintian reports errors"; fi
[[ $(dpkg-deb --field "$deb" Section) == sound ]] || fail "section is not sound"
dpkg-deb --field "$deb" Depends | grep -q 'libc6' || fail "no computed shared-library dependencies"
dpkg-deb --field "$deb" Depends | grep -q 'libpocketsphinx' || fail "no dependency on the recogniser"
dpkg-deb --field "$deb" Depends | grep -q 'pocketsphinx-en-us' || fail "no dependency on the speech model"
dpkg-deb --field "$deb" Depends | grep -q 'qt6-translations-l10n' || fail "no dependency on Qt's translations"

root=$work/root
dpkg-deb -x "$deb" "$root"
expected=(
  usr/bin/tellamo usr/bin/tellamo-convert usr/bin/tellamo-transcribe usr/bin/tellamo-find
  "usr/share/applications/$id.desktop" "usr/share/metainfo/$id.metainfo.xml"
  "usr/share/icons/hicolor/scalable/apps/$id.svg"
  usr/share/man/man1/tellamo.1.gz usr/share/man/man1/tellamo-convert.1.gz
  usr/share/man/man1/tellamo-transcribe.1.gz usr/share/man/man1/tellamo-find.1.gz
  usr/share/doc/tellamo/copyright usr/share/doc/tellamo/changelog.gz
)
for size in 16 24 32 48 64 128 256; do
  expected+=("usr/share/icons/hicolor/${size}x${size}/apps/$id.png")
done
for f in "${expected[@]}"; do
  [[ -s $root/$f ]] || fail "$f is missing from the package"
done
grep -q '^License: GPL-3+$' "$root/usr/share/doc/tellamo/copyright" ||
  fail "the package's copyright does not give the licence"
for size in 16 256; do
  file "$root/usr/share/icons/hicolor/${size}x${size}/apps/$id.png" | grep -q "$size x $size" ||
    fail "the ${size}x${size} icon has another size"
done

help=$("$root/usr/bin/tellamo-convert" --help) || fail "tellamo-convert --help failed"
grep -q '^Usage: tellamo-convert' <<<"$help" || fail "tellamo-convert --help printed: $help"

export HOME=$work/home XDG_RUNTIME_DIR=$work/home/run XDG_CONFIG_HOME=$work/home/.config
export XDG_CACHE_HOME=$work/home/.cache QT_QPA_PLATFORM=offscreen
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
"$root/usr/bin/tellamo" >"$work/tellamo.log" 2>&1 &
APP_PID=$!
# Started once its storage folder holds the read-me it writes at start-up.
for _ in $(seq 300); do
  [[ -f "$HOME/Documents/My Voice Notes/ReadMe.txt" ]] && break
  kill -0 "$APP_PID" 2>/dev/null || { cat "$work/tellamo.log"; fail "tellamo ended at start-up"; }
  sleep 0.1
done
[[ -f "$HOME/Documents/My Voice Notes/ReadMe.txt" ]] || fail "tellamo did not start"
kill -TERM "$APP_PID"
status=0
wait_for_exit "$APP_PID" 30 || status=$?
APP_PID=
[[ $status -eq 0 ]] || { cat "$work/tellamo.log"; fail "tellamo ended with status $status on SIGTERM"; }
echo "PASS"
