#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running the editor
# need, but only those that are missing. Safe to run again and again.
# As root it calls apt-get itself, otherwise through sudo; without either it
# prints the command to run as root and fails.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config file
  qt6-base-dev libgl-dev
  libxml2-dev libxerces-c-dev
  libbenchmark-dev
  clang libclang-rt-14-dev
  fonts-noto-cjk fonts-dejavu-core
  xvfb xdotool imagemagick
  dbus at-spi2-core
  man-db groff-base
  acl
  lintian appstream desktop-file-utils
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
((${#missing[@]})) || exit 0

root_command="apt-get update && apt-get install -y --no-install-recommends ${missing[*]}"
tell_root_command() {
  echo "setup: these packages are missing: ${missing[*]}" >&2
  echo "setup: $1; run this as root, then run this script again:" >&2
  echo "  $root_command" >&2
  exit 1
}

# sudo drops the caller's environment, so DEBIAN_FRONTEND goes after it.
as_root=(env DEBIAN_FRONTEND=noninteractive)
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null 2>&1; then
    tell_root_command "not root and sudo is not installed"
  fi
  # sudo must either need no password or be able to ask for one.
  if ! sudo -n true 2>/dev/null && ! { : </dev/tty; } 2>/dev/null; then
    tell_root_command "sudo needs a password and there is no terminal to ask for it"
  fi
  as_root=(sudo "${as_root[@]}")
fi

echo "setup: installing ${missing[*]}"
if ! { "${as_root[@]}" apt-get update -qq &&
       "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"; }; then
  [ "$(id -u)" -eq 0 ] && { echo "setup: apt-get failed" >&2; exit 1; }
  tell_root_command "installing through sudo failed"
fi
