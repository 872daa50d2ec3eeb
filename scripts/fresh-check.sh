#!/usr/bin/env bash
# Checks the README's two set-up commands on a fresh, minimal Debian 12.
#
# A `debootstrap --variant=minbase bookworm` chroot gets the committed tree
# (git archive HEAD) twice: for root and for an ordinary user, "tester", who
# has no sudo. Steps:
#   user setup  before anything is installed, scripts/setup.sh as the user
#               must fail and print the apt-get line to run as root
#   root test   scripts/test.sh as root (this installs the packages)
#   root run    scripts/run.sh as root on an Xvfb display: the editor's window
#               must appear and the editor keep running; then it is stopped
#   user test   scripts/test.sh as the user (everything is installed by now)
#   user run    scripts/run.sh as the user, as for root
#
# Usage (as root, on a Debian host with debootstrap and Debian's mirror):
#   scripts/fresh-check.sh [DIR]
# DIR (or TARNWELL_FRESH_DIR) holds the chroot (DIR/root, made anew each time)
# and the step logs and screenshots (DIR/logs); default /var/tmp/tarnwell-fresh.
# TARNWELL_FRESH_MIRROR picks another Debian mirror. Builds run under
# nice -n 10. Everything mounted is unmounted on exit, whatever happened.
set -euo pipefail

repo="$(cd "$(dirname "$0")/.." && pwd)"
base="${1:-${TARNWELL_FRESH_DIR:-/var/tmp/tarnwell-fresh}}"
mirror="${TARNWELL_FRESH_MIRROR:-http://deb.debian.org/debian}"
user=tester
step_timeout=$((3 * 3600))

say() { echo "fresh-check: $*"; }
die() { say "$*" >&2; exit 2; }

[ "$(id -u)" -eq 0 ] || die "run this as root (debootstrap, chroot and mount need it)"
command -v debootstrap >/dev/null || die "debootstrap is missing: apt-get install debootstrap"
# One commit for both copies and the summary, however HEAD moves meanwhile.
commit="$(git -C "$repo" rev-parse --verify -q 'HEAD^{commit}')" || die "$repo has no commit to check"
short="$(git -C "$repo" rev-parse --short "$commit")"

mkdir -p "$base"
base="$(cd "$base" && pwd)"
root="$base/root"
logs="$base/logs"

# Processes still running inside the chroot (only ours can be there).
chroot_pids() {
  local p
  for p in /proc/[0-9]*; do
    [ "$(readlink "$p/root" 2>/dev/null)" = "$root" ] && echo "${p#/proc/}"
  done
  return 0
}

# Everything mounted below the chroot, deepest first.
mounts_below() { findmnt -rn -o TARGET | grep -E "^$root(/|\$)" | sort -r || true; }

unmount_all() {
  local pids m
  pids="$(chroot_pids)"
  if [ -n "$pids" ]; then
    # shellcheck disable=SC2086
    kill $pids 2>/dev/null || true
    sleep 2
    pids="$(chroot_pids)"
    # shellcheck disable=SC2086
    [ -z "$pids" ] || kill -9 $pids 2>/dev/null || true
  fi
  for m in $(mounts_below); do
    umount "$m" 2>/dev/null || umount -l "$m" || say "could not unmount $m"
  done
}
# The long commands run in the background while the script waits, so that
# a signal is handled at once rather than when the command ends.
bg=""
run_bg() {
  local s=0
  "$@" &
  bg=$!
  wait "$bg" || s=$?
  bg=""
  return "$s"
}

cleanup() {
  local status=$?
  if [ -n "$bg" ]; then
    unmount_all
    kill "$bg" 2>/dev/null || true
    wait "$bg" 2>/dev/null || true
  fi
  unmount_all
  [ -z "$(mounts_below)" ] || say "still mounted below $root: $(mounts_below | tr '\n' ' ')"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP

# A new chroot each time: a leftover one may hold installed packages.
unmount_all
[ -z "$(mounts_below)" ] || die "cannot unmount what is below $root"
rm -rf --one-file-system "$root" "$logs"
mkdir -p "$root" "$logs"

started=$SECONDS
say "debootstrap --variant=minbase bookworm into $root"
run_bg debootstrap --variant=minbase bookworm "$root" "$mirror" >"$logs/debootstrap.log" 2>&1 \
  || { tail -n 20 "$logs/debootstrap.log"; die "debootstrap failed (see $logs/debootstrap.log)"; }

cp /etc/resolv.conf "$root/etc/resolv.conf"
mount -t proc proc "$root/proc"
mount -t sysfs sysfs "$root/sys" || mount --bind /sys "$root/sys"
mount --bind /dev "$root/dev"
mount --bind /dev/pts "$root/dev/pts"
mount --bind /dev/shm "$root/dev/shm"
# Unix sockets of the X servers: abstract ones are shared with the host
# anyway, so the host's and the chroot's servers must see each other's
# displays to choose a free one.
mkdir -p /tmp/.X11-unix "$root/tmp/.X11-unix"
chmod 1777 /tmp/.X11-unix
mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix"

chroot "$root" useradd --create-home --shell /bin/bash "$user"
say "copying $short into /root/tarnwell and /home/$user/tarnwell"
git -C "$repo" archive --format=tar --prefix=tarnwell/ "$commit" | tar -x -C "$root/root"
git -C "$repo" archive --format=tar --prefix=tarnwell/ "$commit" | tar -x -C "$root/home/$user"
chroot "$root" chown -R "$user:$user" "/home/$user/tarnwell"

# The run step: scripts/run.sh on its own Xvfb display, the window awaited
# (the first call may still have to build), the editor checked to be alive a
# few seconds later, a screenshot taken, the editor and Xvfb stopped.
cat >"$root/usr/local/bin/tarnwell-run-check" <<'EOF'
#!/bin/bash
set -u
shot="$1"
command -v Xvfb >/dev/null || { echo "Xvfb is not installed"; exit 1; }
# Xvfb picks a free display itself and writes its number once it listens;
# guessing from /tmp misses servers outside this chroot.
dfile="$(mktemp)"
Xvfb -displayfd 3 -screen 0 1024x768x24 -dpi 96 -nolisten tcp 3>"$dfile" >/dev/null 2>&1 &
xvfb=$!
run=""
stop() {
  [ -z "$run" ] || kill "$run" 2>/dev/null
  kill "$xvfb" 2>/dev/null
  wait 2>/dev/null
  rm -f "$dfile"
}
trap stop EXIT
display=""
for _ in $(seq 300); do
  display="$(head -n 1 "$dfile" 2>/dev/null)"
  [ -n "$display" ] && break
  kill -0 "$xvfb" 2>/dev/null || { echo "Xvfb ended before it chose a display"; exit 1; }
  sleep 0.1
done
[ -n "$display" ] || { echo "Xvfb did not choose a display in 30 s"; exit 1; }
export DISPLAY=":$display"
scripts/run.sh &
run=$!
window=""
for _ in $(seq 3600); do
  kill -0 "$run" 2>/dev/null || { wait "$run"; echo "scripts/run.sh ended (exit $?) before the window appeared"; run=""; exit 1; }
  window="$(xdotool search --onlyvisible --name '^Tarnwell XML Editor$' 2>/dev/null | head -n 1)"
  [ -n "$window" ] && break
  sleep 1
done
[ -n "$window" ] || { echo "the editor's window did not appear within an hour"; exit 1; }
sleep 3
kill -0 "$run" 2>/dev/null || { wait "$run"; echo "the editor ended (exit $?) right after its window appeared"; run=""; exit 1; }
echo "the editor's window is up: $(xdotool getwindowname "$window"), $(xdotool getwindowgeometry "$window" | tr '\n' ' ')"
import -window root "$shot" || echo "(no screenshot)"
echo "the editor is still running; stopping it"
EOF
chmod 755 "$root/usr/local/bin/tarnwell-run-check"

# Runs a command in the chroot as root or as the user, with a clean login
# environment, in that account's copy of the tree.
in_chroot() {
  local who="$1"; shift
  local home=/root spec=()
  if [ "$who" != root ]; then home="/home/$who"; spec=(--userspec="$who:$who"); fi
  timeout -k 30 "$step_timeout" chroot "${spec[@]}" "$root" /usr/bin/env -i \
    HOME="$home" USER="$who" LOGNAME="$who" SHELL=/bin/bash LANG=C.UTF-8 \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    /bin/bash -c "cd ~/tarnwell && $*"
}

results=()
passed=0
failed=0
record() {
  local ok="$1" name="$2" secs="$3" word=FAIL
  if [ "$ok" = 1 ]; then word=PASS; passed=$((passed + 1)); else failed=$((failed + 1)); fi
  results+=("$(printf '%-4s  %-11s %3dm%02ds  %s' "$word" "$name" $((secs / 60)) $((secs % 60)) "$logs/${name// /-}.log")")
  say "$word $name"
}
# in_chroot with its output both shown and written to the log given first.
in_chroot_logged() {
  local log="$1"; shift
  set +e
  in_chroot "$@" 2>&1 | tee "$log"
  exit "${PIPESTATUS[0]}"
}
# step NAME USER COMMAND: runs it and records how it went.
step() {
  local name="$1" who="$2" cmd="$3" t=$SECONDS status=0
  local log="$logs/${name// /-}.log"
  say "--- $name: $cmd"
  run_bg in_chroot_logged "$log" "$who" "$cmd" || status=$?
  say "--- $name: exit $status"
  record "$([ "$status" -eq 0 ] && echo 1 || echo 0)" "$name" $((SECONDS - t))
}

# Before anything is installed the user, who has no sudo, is told what to run.
t=$SECONDS
say "--- user setup: scripts/setup.sh before the packages are installed"
set +e
in_chroot "$user" scripts/setup.sh </dev/null >"$logs/user-setup.log" 2>&1
status=$?
set -e
cat "$logs/user-setup.log"
ok=1
if [ "$status" -eq 0 ]; then
  say "scripts/setup.sh succeeded without root on a minimal system"; ok=0
elif ! grep -qE '^  apt-get update && apt-get install -y --no-install-recommends .*\bqt6-base-dev\b' "$logs/user-setup.log"; then
  say "scripts/setup.sh did not print the apt-get line to run as root"; ok=0
elif grep -q 'command not found' "$logs/user-setup.log"; then
  say "scripts/setup.sh ran into a missing command"; ok=0
fi
record "$ok" "user setup" $((SECONDS - t))

step "root test" root "nice -n 10 scripts/test.sh </dev/null"
step "root run" root "nice -n 10 tarnwell-run-check /tmp/root-run.png </dev/null"
cp "$root/tmp/root-run.png" "$logs/" 2>/dev/null || true
step "user test" "$user" "nice -n 10 scripts/test.sh </dev/null"
step "user run" "$user" "nice -n 10 tarnwell-run-check /tmp/user-run.png </dev/null"
cp "$root/tmp/user-run.png" "$logs/" 2>/dev/null || true

total=$((SECONDS - started))
echo
say "results for $short in a minbase bookworm chroot ($root):"
for r in "${results[@]}"; do say "  $r"; done
say "took $((total / 60))m$(printf '%02d' $((total % 60)))s"
if [ "$failed" -eq 0 ]; then
  say "all steps passed"
else
  say "$failed of $((passed + failed)) steps failed"
fi
echo "fresh-check: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
