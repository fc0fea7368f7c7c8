#!/bin/bash
# Installs the package with dpkg, blocks with it, removes and purges it, as
# root in a throwaway copy of this system: an overlay over / whose changes go
# to a tmpfs, in private mount, PID and network namespaces. What each step
# left is written to OUT; nothing of it reaches the machine itself.
# Usage: install-remove.sh PACKAGE.deb REPLY.json OUT
# Exit status: 0 when every step ran, 77 when the namespaces or the overlay
# are refused here, anything else on a failure (see OUT/log).
set -euo pipefail

if [ "${1:-}" != "--inside" ]; then
  deb=$1 reply=$2 out=$3
  mkdir -p "$out"
  if ! unshare --mount --pid --net --fork --propagation private true 2>/dev/null; then
    echo "install-remove: unshare --mount --pid --net refused here" >&2
    exit 77
  fi
  scratch=$(mktemp -d /tmp/kt-package-sandbox.XXXXXX)
  status=0
  unshare --mount --pid --net --fork --propagation private bash "$0" --inside "$scratch" "$deb" "$reply" "$out" || status=$?
  rmdir "$scratch" 2>/dev/null || true
  exit $status
fi

shift
scratch=$1 deb=$2 reply=$3 out=$4
mount -t tmpfs -o mode=755 tmpfs "$scratch"
mkdir "$scratch/upper" "$scratch/work" "$scratch/root"
if ! mount -t overlay overlay -o "lowerdir=/,upperdir=$scratch/upper,workdir=$scratch/work" "$scratch/root"; then
  echo "install-remove: no overlay over / here" >&2
  exit 77
fi
root=$scratch/root
mount -t tmpfs -o mode=1777 tmpfs "$root/tmp"
mount -t tmpfs -o mode=755 tmpfs "$root/run"
mount --rbind /dev "$root/dev"
mount -t proc proc "$root/proc"
mkdir -p "$root/sandbox"
mount --bind "$out" "$root/sandbox"
cp "$deb" "$root/tmp/ka-tesmar.deb"
cp "$reply" "$root/tmp/reply.json"
ip link set lo up

in_root() { chroot "$root" /usr/bin/env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
  HOME=/root LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive "$@"; }

# Everything under the folders a package may touch, with the hosts file's bytes.
files() {  # name
  in_root find /etc /usr /opt /var/lib /srv -xdev \
    -not -path '/var/lib/dpkg/*' -not -path '/var/cache/*' -not -path '/var/log/*' 2>/dev/null \
    | sort >"$out/$1.files"
}
state() {  # name
  cp "$root/etc/hosts" "$out/$1.hosts"
  nft list ruleset >"$out/$1.ruleset" 2>&1 || true
  in_root find /var/lib/ka-tesmar /etc/systemd/system /usr/local/bin >"$out/$1.listing" 2>/dev/null || true
}

# What an earlier installation left on this computer is taken out of the copy
# first: only what this package adds or leaves is compared.
in_root dpkg -P ka-tesmar >/dev/null 2>&1 || true
rm -rf "$root/var/lib/ka-tesmar" "$root/etc/ka-tesmar" "$root/usr/libexec/ka-tesmar" \
  "$root"/etc/systemd/system/ka-tesmar-guardian.* "$root"/etc/systemd/system/*/ka-tesmar-guardian.* \
  "$root/usr/local/bin/ka-tesmar-guardian.sh"
files before
state before
in_root dpkg -i /tmp/ka-tesmar.deb >"$out/install.log" 2>&1
files installed
in_root ka-tesmar-admin status >"$out/installed.status" 2>&1

# Blocked as the application blocks: the root helper with the names and
# addresses of the reply as its request.
echo '{"names":["chatgpt.com"],"addresses":["192.0.2.10","2001:db8::10"]}' >"$root/tmp/request.json"
in_root sh -c '/usr/libexec/ka-tesmar/ka-tesmar-helper activate </tmp/request.json' \
  >"$out/activate.out" 2>&1
state blocked

in_root dpkg -r ka-tesmar >"$out/remove.log" 2>&1
state removed
files removed
in_root dpkg -P ka-tesmar >"$out/purge.log" 2>&1
files purged
echo done >"$out/done"
