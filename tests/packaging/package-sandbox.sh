#!/bin/bash
# Installs a Debian package and works with it, as root in a throwaway copy of
# this system: an overlay over / whose changes go to a tmpfs, in private mount,
# PID and network namespaces. SCENARIO (sourced inside, the package at
# /tmp/package.deb) writes what each step left to OUT; nothing of it reaches
# the machine itself.
# Usage: package-sandbox.sh SCENARIO PACKAGE.deb OUT
# Exit status: 0 when every step ran, 77 when the namespaces or the overlay
# are refused here, anything else on a failure (see OUT/*.log).
set -euo pipefail

if [ "${1:-}" != "--inside" ]; then
  scenario=$1 deb=$2 out=$3
  mkdir -p "$out"
  if ! unshare --mount --pid --net --fork --propagation private true 2>/dev/null; then
    echo "package-sandbox: unshare --mount --pid --net refused here" >&2
    exit 77
  fi
  scratch=$(mktemp -d /tmp/kt-package-sandbox.XXXXXX)
  status=0
  unshare --mount --pid --net --fork --propagation private bash "$0" --inside "$scratch" "$scenario" "$deb" "$out" || status=$?
  rmdir "$scratch" 2>/dev/null || true
  exit $status
fi

shift
scratch=$1 scenario=$2 deb=$3 out=$4
mount -t tmpfs -o mode=755 tmpfs "$scratch"
mkdir "$scratch/upper" "$scratch/work" "$scratch/root"
if ! mount -t overlay overlay -o "lowerdir=/,upperdir=$scratch/upper,workdir=$scratch/work" "$scratch/root"; then
  echo "package-sandbox: no overlay over / here" >&2
  exit 77
fi
root=$scratch/root
mount -t tmpfs -o mode=1777 tmpfs "$root/tmp"
mount -t tmpfs -o mode=755 tmpfs "$root/run"
mount --rbind /dev "$root/dev"
mount -t proc proc "$root/proc"
cp "$deb" "$root/tmp/package.deb"
ip link set lo up

in_root() { chroot "$root" /usr/bin/env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
  HOME=/root LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive "$@"; }

# Every file under the folders a package may touch (not the "-" backups of
# the account files).
files() {  # name
  in_root find /etc /usr /opt /var/lib /srv -xdev \
    -not -path '/var/lib/dpkg/*' -not -path '/var/cache/*' -not -path '/var/log/*' \
    -not -name '*-' 2>/dev/null | sort >"$out/$1.files"
}

# An earlier installation is taken out of the copy first (the scenario takes
# out what its purge leaves): only what this package adds or leaves is compared.
in_root dpkg -P "$(dpkg-deb -f "$deb" Package)" >/dev/null 2>&1 || true
# shellcheck source=/dev/null
source "$scenario"
