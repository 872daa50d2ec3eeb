#!/usr/bin/env bash
# Checks the gzipped manual pages given after the project's version and the
# tarnwell-pairs executable: man formats each without a warning, its NAME
# line is one that whatis can index, its title carries the version, and the
# tarnwell-pairs page shows every command and option that the tool's --help
# lists, so that neither falls behind the other.
set -euo pipefail
version="$1"
tool="$2"
shift 2
export LC_ALL=C.UTF-8 MANWIDTH=80
command -v man >/dev/null || { echo "man is not installed (scripts/setup.sh installs man-db)"; exit 1; }

failed=0
fail() { echo "$1"; failed=1; }
for page in "$@"; do
  name="$(basename "$page" .1.gz)"
  [ -f "$page" ] || { fail "$name: $page does not exist"; continue; }
  errors="$(mktemp)"
  text="$(man --warnings -l "$page" 2>"$errors")" || fail "$name: man failed"
  [ -s "$errors" ] && fail "$name: man warns: $(cat "$errors")"
  rm -f "$errors"
  lexgrog "$page" | grep -qF ": \"$name - " || fail "$name: no NAME line that whatis can index: $(lexgrog "$page" || true)"
  zcat "$page" | head -n 1 | grep -qF "\"Tarnwell XML Editor $version\"" || fail "$name: the title does not say version $version"

  if [ "$name" = tarnwell-pairs ]; then
    help="$("$tool" --help)"
    synopsis="$(sed -n '/^SYNOPSIS/,/^DESCRIPTION/p' <<<"$text")"
    for command in $(grep -oE '^  tarnwell-pairs [a-z]+' <<<"$help" | cut -d' ' -f4 | sort -u); do
      grep -qE "^ *tarnwell-pairs $command( |$)" <<<"$synopsis" || fail "$name: the synopsis lacks the command $command"
    done
    options="$(sed -n '/^OPTIONS/,/^EXIT STATUS/p' <<<"$text")"
    for option in $(grep -oE -- '(^|[[ ])--?[a-z][a-z-]*' <<<"$help" | grep -oE -- '--?[a-z][a-z-]*' | sort -u); do
      grep -qE -- "^ {7}(-[a-z], )?$option( |$)" <<<"$options" || fail "$name: OPTIONS lacks $option"
    done
  fi
done
[ "$failed" -eq 0 ] || exit 1
echo "$# pages checked"
