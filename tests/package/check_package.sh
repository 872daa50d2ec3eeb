#!/usr/bin/env bash
# Builds the Debian package from the build folder given, checks what it
# holds, unpacks it and starts the unpacked editor.
set -euo pipefail
build="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

(cd "$build" && cpack -G DEB -B "$work/out" >/dev/null)
deb="$(ls "$work"/out/*.deb)"
echo "package: $(basename "$deb")"

contents="$(dpkg-deb -c "$deb")"
for f in ./usr/lib/tarnwell-xml-editor/tarnwell-xml-editor ./usr/lib/tarnwell-xml-editor/TarnwellEditor.cfg \
         ./usr/bin/tarnwell-xml-editor ./usr/bin/tarnwell-pairs \
         ./usr/share/applications/tarnwell-xml-editor.desktop \
         ./usr/share/icons/hicolor/scalable/apps/tarnwell-xml-editor.svg \
         ./usr/share/doc/tarnwell-xml-editor/examples/doc.xml; do
  grep -qF " $f" <<<"$contents" || { echo "missing from the package: $f"; exit 1; }
done
grep -qE ' \./usr/bin/tarnwell-xml-editor -> \.\./lib/tarnwell-xml-editor/tarnwell-xml-editor' <<<"$contents" \
  || { echo "bin/tarnwell-xml-editor is not a link to the editor"; exit 1; }

depends="$(dpkg-deb -f "$deb" Depends)"
for d in libqt6widgets6 libxml2 fonts-noto-cjk; do
  grep -q "$d" <<<"$depends" || { echo "Depends lacks $d: $depends"; exit 1; }
done
[ "$(dpkg-deb -f "$deb" Package)" = tarnwell-xml-editor ] || { echo "wrong package name"; exit 1; }
[ "$(dpkg-deb -f "$deb" Version)" = 1.0.0 ] || { echo "wrong version"; exit 1; }

# Unpacked, the editor starts and keeps running until it is stopped, and the
# tool works on the packaged sample.
dpkg-deb -x "$deb" "$work/root"
"$work/root/usr/bin/tarnwell-pairs" get "$work/root/usr/share/doc/tarnwell-xml-editor/examples/doc.xml" | grep -q '^DAT,,Catalog/Title,'
set +e
QT_QPA_PLATFORM=offscreen timeout 3 "$work/root/usr/bin/tarnwell-xml-editor"
status=$?
set -e
[ "$status" -eq 124 ] || { echo "the unpacked editor did not keep running (exit $status)"; exit 1; }
echo "1 passed, 0 failed"
