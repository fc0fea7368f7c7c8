#!/bin/bash
# The real window while it follows a class, drawn with OpenGL (--opengl) and
# with the software scene graph (the default), side by side in one run:
# how long the teacher's switch takes until the block is in force, the idle
# footprint while blocked (resident memory, CPU share, TCP connections to the
# class service) and how long Ctrl+Q during an activation's lookups takes
# until the window is gone.
#
# Everything runs as root in a throwaway Linux sandbox (fresh network, mount
# and PID namespaces, real nftables, see tests/support/sandbox): the
# reference class service on its loopback, trusted through the sandbox's own
# /etc/ka-tesmar/ka-tesmar.conf (so any build works), an X server (Xvfb) and
# the application, driven by keyboard through xdotool as a pupil would. The
# name server drops every query, so each address lookup takes dig's full 2 s.
#
#   benchmarks/window-benchmark.sh [BUILD_DIR] [SECONDS]
#     BUILD_DIR: build/release when it holds the application, else build/default;
#     SECONDS: the idle stretch measured (default 30).
#
# Goals for the software scene graph: at most 90 MB resident, at most 0.5 %
# CPU, one connection, the block in force within 8 s of the switch (the next
# poll within 5 s, the lookups and the helper's run within 3 s) and the window
# gone within 6 s of Ctrl+Q. Exit status 1 when one is missed, 77 without
# namespaces.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(dirname "$here")
build=${1:-}
if [ -z "$build" ]; then
  build=$repo/build/default
  [ -x "$repo/build/release/src/Ka_Tesmar" ] && build=$repo/build/release
fi
build=$(cd "$build" && pwd)
seconds=${2:-30}
for program in "$build/src/Ka_Tesmar" "$build/service/ka-tesmar-service" /usr/bin/xdotool \
  /usr/bin/Xvfb; do
  [ -x "$program" ] || { echo "missing $program (scripts/install-deps.sh, then build)" >&2; exit 1; }
done

work=$(mktemp -d /tmp/kt-window-benchmark.XXXXXX)
trap 'rm -rf "$work"' EXIT
printf '127.0.0.1\tlocalhost\n::1\tlocalhost ip6-localhost ip6-loopback\n' >"$work/hosts.original"
: >"$work/pf.conf.original"
cp "$here/window-benchmark-inside.sh" "$work/benchmark.sh"
cp "$repo/tests/support/sandbox/window.sh" "$work/window.sh"
echo "$build" >"$work/build.path"
echo "$seconds" >"$work/seconds"
status=0
KT_SANDBOX_SYSTEM=linux "$repo/tests/support/sandbox/run-in-sandbox.sh" "$work" benchmark.sh \
  "$build" || status=$?
if [ "$status" = 77 ]; then
  echo "window-benchmark: network, mount and PID namespaces are refused here; nothing measured" >&2
  exit 77
fi
cat "$work/out/report" "$work/out/timeouts" 2>/dev/null || true
if [ "$status" != 0 ]; then
  for log in "$work"/out/*.log; do echo "--- $log"; tail -n 30 "$log"; done
fi
exit "$status"
