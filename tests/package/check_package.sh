#!/usr/bin/env bash
# Builds the Debian package from the build folder given, checks what it
# holds, unpacks it and starts the unpacked editor.
set -euo pipefail
build="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

(cd "$build" && cpack -G DEB -B "$work/out" >/dev/null)
deb="$(ls "$work"/out/tarnwell-xml-editor_*.deb)"
dbgsym="$(ls "$work"/out/tarnwell-xml-editor-dbgsym_*.d*deb 2>/dev/null || true)"
echo "package: $(basename "$deb")"
[ -n "$dbgsym" ] || { echo "no -dbgsym package beside it: $(ls "$work/out")"; exit 1; }

contents="$(dpkg-deb -c "$deb")"
for f in ./usr/lib/tarnwell-xml-editor/tarnwell-xml-editor ./usr/lib/tarnwell-xml-editor/TarnwellEditor.cfg \
         ./usr/bin/tarnwell-xml-editor ./usr/bin/tarnwell-pairs \
         ./usr/share/applications/tarnwell-xml-editor.desktop \
         ./usr/share/icons/hicolor/scalable/apps/tarnwell-xml-editor.svg \
         ./usr/share/doc/tarnwell-xml-editor/examples/doc.xml \
         ./usr/share/man/man1/tarnwell-xml-editor.1.gz ./usr/share/man/man1/tarnwell-pairs.1.gz \
         ./usr/share/doc/tarnwell-xml-editor/copyright ./usr/share/doc/tarnwell-xml-editor/changelog.gz \
         ./usr/share/metainfo/org.tarnwell.xmleditor.metainfo.xml; do
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

# What Debian's and the software centres' own tools say of the package: no
# error and no warning, and no tag overridden.
status=0
lintian_out="$(lintian --fail-on error,warning --tag-display-limit 0 "$deb" 2>&1)" || status=$?
lintian_out="$(grep -v '^running with root privileges is not recommended!$' <<<"$lintian_out" || true)"
[ "$status" -eq 0 ] || { echo "lintian (exit $status):"; echo "$lintian_out"; exit 1; }
[ -z "$lintian_out" ] || echo "lintian: $lintian_out"
appstreamcli validate --no-net "$work/root/usr/share/metainfo/org.tarnwell.xmleditor.metainfo.xml" \
  || { echo "appstreamcli validate failed"; exit 1; }
desktop-file-validate "$work/root/usr/share/applications/tarnwell-xml-editor.desktop" \
  || { echo "desktop-file-validate failed"; exit 1; }
# The screenshots the metadata names are the README's, in the source tree.
source_dir="$(dirname "$0")/../.."
for shot in $(grep -o 'screenshots/[^<]*\.png' "$work/root/usr/share/metainfo/org.tarnwell.xmleditor.metainfo.xml"); do
  [ -f "$source_dir/docs/${shot#screenshots/}" ] || { echo "the metadata names $shot, which docs/ lacks"; exit 1; }
  grep -q "docs/${shot#screenshots/}" "$source_dir/README.md" || { echo "the README does not show $shot"; exit 1; }
done
grep -q "<release version=\"$(dpkg-deb -f "$deb" Version)\"" "$work/root/usr/share/metainfo/org.tarnwell.xmleditor.metainfo.xml" \
  || { echo "the metadata's release is not the package's version"; exit 1; }
# The programs are stripped; their symbols are in the -dbgsym package.
for program in usr/lib/tarnwell-xml-editor/tarnwell-xml-editor usr/bin/tarnwell-pairs; do
  file "$work/root/$program" | grep -q ', stripped' || { echo "$program is not stripped"; exit 1; }
done

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
