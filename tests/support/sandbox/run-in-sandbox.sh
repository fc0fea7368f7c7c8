#!/bin/bash
# Runs a scenario script as root in a throwaway root file system that looks
# like the system the blocking scripts were written for, without touching
# this machine: private mount and PID namespaces, a tmpfs as the new root,
# /usr read-only from the host, a private copy of /etc (with a "wheel" group,
# /etc/hosts and /etc/pf.conf from WORKDIR/*.original), WORKDIR at /sandbox
# and stand-ins for the macOS tools (standins/, recording their calls in
# /sandbox/out/calls.log) first in PATH. With KT_SANDBOX_SYSTEM=linux it is a
# Linux system instead: a network namespace as well (loopback up with
# 198.51.100.2, .3, 2001:db8::2 and ::3, a name server at 127.0.0.1 where
# nothing answers), the real sed and nft, and stand-ins only for systemctl,
# pkill, resolvectl and sleep.
# Usage: run-in-sandbox.sh WORKDIR SCENARIO [READ_ONLY_DIR...]
# Exit status: the scenario's, or 77 when namespaces cannot be made here.
set -euo pipefail
system=${KT_SANDBOX_SYSTEM:-macos}

if [ "${1:-}" != "--inside" ]; then
  work=$1
  shift
  here=$(cd "$(dirname "$0")" && pwd)
  namespaces=(--mount --pid)
  [ "$system" = linux ] && namespaces+=(--net)
  if ! unshare "${namespaces[@]}" --fork --propagation private true 2>/dev/null ||
    { [ "$system" = linux ] && ! command -v nft >/dev/null; }; then
    echo "run-in-sandbox: unshare ${namespaces[*]} refused here, or nft is not installed" >&2
    exit 77
  fi
  mkdir -p "$work/bin" "$work/out"
  # Stand-ins that only record their call and exit with STATUS: the guardian's
  # five-second wait, and on linux pkill, which finds no browser.
  recorder() { printf '#!/bin/bash\n. /sandbox/bin/record\nexit %s\n' "$2" >"$work/bin/$1"; }
  recorder sleep 0
  if [ "$system" = linux ]; then
    cp "$here"/standins/record "$here"/standins-linux/* "$work/bin/"
    recorder resolvectl 0 && recorder pkill 1
  else
    cp "$here"/standins/* "$work/bin/"
    recorder dscacheutil 0 && recorder pfctl 0
  fi
  cp "$here/lib.sh" "$work/lib.sh"
  echo "$system" >"$work/system"
  chmod +x "$work"/bin/*
  root=$(mktemp -d /tmp/kt-sandbox-root.XXXXXX)
  status=0
  unshare "${namespaces[@]}" --fork --propagation private bash "$0" --inside "$root" "$work" "$@" || status=$?
  rmdir "$root" 2>/dev/null || true
  exit $status
fi

shift
root=$1 work=$2 scenario=$3
shift 3

mount -t tmpfs -o mode=755 tmpfs "$root"
mkdir -p "$root"/{usr,dev,proc,tmp,sandbox,run,root,var/tmp,var/run,var/lib,.local-bin,.local-sbin} \
  "$root/Library/LaunchDaemons" "$root/Library/Application Support"
chmod 1777 "$root/tmp" "$root/var/tmp"
mount --rbind /usr "$root/usr"
mount -o remount,bind,ro "$root/usr"
# A merged /usr: /bin, /lib and the like are links into it.
for dir in bin sbin lib lib32 lib64 libx32; do [ ! -L "/$dir" ] || ln -s "$(readlink "/$dir")" "$root/$dir"; done
cp -a /etc/. "$root/etc/"
grep -q '^wheel:' "$root/etc/group" || echo 'wheel:x:0:' >>"$root/etc/group"
cp "$work/hosts.original" "$root/etc/hosts"
cp "$work/pf.conf.original" "$root/etc/pf.conf"
mkdir -p "$root/etc/pf.anchors"
echo 'anchor "com.apple/*"' >"$root/etc/pf.anchors/com.apple"
mount --bind "$root/.local-bin" "$root/usr/local/bin"
mount --rbind /dev "$root/dev"
mount -t proc proc "$root/proc"
mount --bind "$work" "$root/sandbox"
for dir in "$@"; do
  mkdir -p "$root$dir"
  mount --bind "$dir" "$root$dir"
  mount -o remount,bind,ro "$root$dir"
done
if [ "$system" = linux ]; then
  # The root helper searches only the system's folders; root's own
  # /usr/local/sbin comes first there and holds the stand-ins.
  for standin in "$work"/bin/*; do ln -s "/sandbox/bin/$(basename "$standin")" "$root/.local-sbin/"; done
  mount --bind "$root/.local-sbin" "$root/usr/local/sbin"
  # A link here could point out of the sandbox; the file is replaced.
  rm -f "$root/etc/resolv.conf" && echo 'nameserver 127.0.0.1' >"$root/etc/resolv.conf"
  ip link set lo up
  # Loopback addresses are never blocked: the targets are documentation ones.
  if ! { ip addr add 198.51.100.2/32 dev lo && ip addr add 198.51.100.3/32 dev lo &&
    ip -6 addr add 2001:db8::2/128 dev lo && ip -6 addr add 2001:db8::3/128 dev lo; }; then
    echo "run-in-sandbox: no IPv6 on the loopback device here" >&2
    exit 77
  fi
fi

exec chroot "$root" /usr/bin/env -i \
  PATH=/sandbox/bin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
  HOME="/Users/leerling met spatie" LANG=C.UTF-8 \
  /bin/bash "/sandbox/$scenario"
