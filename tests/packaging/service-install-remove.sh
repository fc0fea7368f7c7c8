#!/bin/bash
# Installs the ka-tesmar-service package with dpkg, adds a teacher, removes
# and purges it, as root in a throwaway copy of this system (an overlay over /
# in private mount, PID and network namespaces). What each step left is
# written to OUT; nothing of it reaches the machine itself.
# Usage: service-install-remove.sh PACKAGE.deb OUT
# Exit status: 0 when every step ran, 77 when the namespaces or the overlay
# are refused here, anything else on a failure (see OUT/*.log).
set -euo pipefail

if [ "${1:-}" != "--inside" ]; then
  deb=$1 out=$2
  mkdir -p "$out"
  if ! unshare --mount --pid --net --fork --propagation private true 2>/dev/null; then
    echo "service-install-remove: unshare --mount --pid --net refused here" >&2
    exit 77
  fi
  scratch=$(mktemp -d /tmp/kt-service-package-sandbox.XXXXXX)
  status=0
  unshare --mount --pid --net --fork --propagation private bash "$0" --inside "$scratch" "$deb" "$out" || status=$?
  rmdir "$scratch" 2>/dev/null || true
  exit $status
fi

shift
scratch=$1 deb=$2 out=$3
mount -t tmpfs -o mode=755 tmpfs "$scratch"
mkdir "$scratch/upper" "$scratch/work" "$scratch/root"
if ! mount -t overlay overlay -o "lowerdir=/,upperdir=$scratch/upper,workdir=$scratch/work" "$scratch/root"; then
  echo "service-install-remove: no overlay over / here" >&2
  exit 77
fi
root=$scratch/root
mount -t tmpfs -o mode=1777 tmpfs "$root/tmp"
mount -t tmpfs -o mode=755 tmpfs "$root/run"
mount --rbind /dev "$root/dev"
mount -t proc proc "$root/proc"
cp "$deb" "$root/tmp/ka-tesmar-service.deb"

in_root() { chroot "$root" /usr/bin/env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
  HOME=/root LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive "$@"; }
files() {  # name: every file a package may touch, and the service's account
  in_root find /etc /usr /opt /var/lib /srv -xdev \
    -not -path '/var/lib/dpkg/*' -not -path '/var/cache/*' -not -path '/var/log/*' \
    -not -name '*-' 2>/dev/null | sort >"$out/$1.files"
  in_root getent passwd ka-tesmar-service >"$out/$1.account" || true
}

files before
in_root dpkg -i /tmp/ka-tesmar-service.deb >"$out/install.log" 2>&1
files installed
db=/var/lib/ka-tesmar-service/service.db
# As root, before the service ever ran: the command takes the identity of the
# data folder's owner first, so the database is the service's.
in_root ka-tesmar-service teacher add anna --database "$db" >"$out/teacher.log" 2>&1
in_root ka-tesmar-service teacher reset anna --database "$db" >>"$out/teacher.log" 2>&1
in_root stat -c '%U %a %n' /var/lib/ka-tesmar-service "$db" >"$out/owners" 2>&1
in_root find /var/lib/ka-tesmar-service -not -user ka-tesmar-service >>"$out/owners" 2>&1
in_root dpkg -r ka-tesmar-service >"$out/remove.log" 2>&1
files removed
in_root dpkg -P ka-tesmar-service >"$out/purge.log" 2>&1
files purged
echo done >"$out/done"
