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
         ./usr/share/doc/tarnwell-xml-editor/examples/doc.xml \
         ./usr/share/man/man1/tarnwell-xml-editor.1.gz ./usr/share/man/man1/tarnwell-pairs.1.gz; do
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

dpkg-deb -x "$deb" "$work/root"

# The manual pages are gzipped as Debian policy asks: whole, and without the
# file's name or a time stamp in the header (gzip -n).
for page in tarnwell-xml-editor tarnwell-pairs; do
  gz="$work/root/usr/share/man/man1/$page.1.gz"
  gzip -t "$gz" || { echo "$page.1.gz is not a whole gzip file"; exit 1; }
  header="$(od -An -tx1 -N8 "$gz" | tr -d ' \n')"
  [ "${header:0:6}" = 1f8b08 ] && (( (0x${header:6:2} & 0x08) == 0 )) && [ "${header:8:8}" = 00000000 ] \
    || { echo "$page.1.gz keeps a name or a time stamp (header $header)"; exit 1; }
  zcat "$gz" | head -n 1 | grep -q '^\.TH ' || { echo "$page.1.gz is not a manual page"; exit 1; }
done

# Unpacked, the editor starts and keeps running until it is stopped, and the
# tool works on the packaged sample.
"$work/root/usr/bin/tarnwell-pairs" get "$work/root/usr/share/doc/tarnwell-xml-editor/examples/doc.xml" | grep -q '^DAT,,Catalog/Title,'
set +e
QT_QPA_PLATFORM=offscreen timeout 3 "$work/root/usr/bin/tarnwell-xml-editor"
status=$?
set -e
[ "$status" -eq 124 ] || { echo "the unpacked editor did not keep running (exit $status)"; exit 1; }
echo "1 passed, 0 failed"
