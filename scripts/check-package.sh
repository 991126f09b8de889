#!/usr/bin/env bash
# Checks the Debian package that `make package` built in the build folder:
# what it holds, that its programs run, and that its desktop entries, unit and
# manual pages are accepted by their own tools.
set -euo pipefail
build=${1:-build}
deb=$(ls "$build"/corvane_*.deb | head -1)
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT

echo "Package: $deb"
dpkg-deb --info "$deb" | grep -E "Package|Version|Depends"
dpkg-deb --contents "$deb"
dpkg-deb --extract "$deb" "$root"

"$root/usr/bin/corvane" --version
"$root/usr/bin/tuq-switch-sim" --version
"$root/usr/bin/pharmacy-sim" --version
test -s "$root/usr/share/icons/hicolor/scalable/apps/corvane.svg"
# The example settings read as a configuration.
CORVANE_SETTINGS="$root/usr/share/doc/corvane/Corvane.reg.example" \
  "$root/usr/bin/corvane" /config Socket --print-settings | grep -q '"DataSourceType"="SocketPort"'
test -s "$root/usr/share/doc/corvane/settings.md"
desktop-file-validate "$root/usr/share/applications/corvane.desktop"
desktop-file-validate "$root/etc/xdg/autostart/corvane.desktop"
for page in "$root"/usr/share/man/man1/*.1; do
  man -l "$page" > /dev/null
done
if command -v systemd-analyze > /dev/null; then
  # An instance of the template, pointing at the unpacked program and pages.
  unit="$root/corvane@check.service"
  sed "s#/usr/bin/corvane#$root/usr/bin/corvane#" "$root/usr/lib/systemd/user/corvane@.service" > "$unit"
  MANPATH="$root/usr/share/man" systemd-analyze verify "$unit"
fi
echo "The package is sound."
