#!/bin/bash
# Idle footprint of the real window while it follows a class with blocking
# on: resident memory, CPU share and TCP connections to the class service,
# drawn with OpenGL (--opengl) and with the software scene graph (the
# default), side by side in one run.
#
# Everything runs as root in a throwaway Linux sandbox (fresh network, mount
# and PID namespaces, real nftables, see tests/blocking/sandbox): the
# reference class service on its loopback, an X server (Xvfb) and the
# application, driven by keyboard through xdotool as a pupil would: accept
# the terms, type name and class code, Return. The teacher's switch is on, so
# the application activates blocking; then it idles for SECONDS (default 30)
# and is measured, and Ctrl+Q ends it.
#
#   benchmarks/idle-footprint.sh [BUILD_DIR] [SECONDS]
#     BUILD_DIR: build/release when it holds the application, else build/default.
#
# Goals: at most 90 MB resident, at most 0.5 % CPU, one connection.
# Exit status 1 when the software run misses a goal, 77 without namespaces.
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
app=$build/src/Ka_Tesmar
service=$build/tools/service/ka-tesmar-service
for program in "$app" "$service" /usr/bin/xdotool /usr/bin/Xvfb; do
  [ -x "$program" ] || { echo "missing $program (scripts/install-deps.sh, then build)" >&2; exit 1; }
done

# The application trusts the certificate at BUILD_DIR/service/tls/cert.pem.
"$repo/scripts/reference-certificate.sh" "$build"

work=$(mktemp -d /tmp/kt-footprint.XXXXXX)
trap 'rm -rf "$work"' EXIT
printf '127.0.0.1\tlocalhost\n::1\tlocalhost ip6-localhost ip6-loopback\n' >"$work/hosts.original"
: >"$work/pf.conf.original"
cp "$here/idle-footprint-inside.sh" "$work/footprint.sh"
echo "$build" >"$work/build.path"
echo "$seconds" >"$work/seconds"
status=0
KT_SANDBOX_SYSTEM=linux "$repo/tests/blocking/sandbox/run-in-sandbox.sh" "$work" footprint.sh \
  "$build" || status=$?
if [ "$status" = 77 ]; then
  echo "idle-footprint: network, mount and PID namespaces are refused here; nothing measured" >&2
  exit 77
fi
cat "$work/out/report" "$work/out/timeouts" 2>/dev/null || true
if [ "$status" != 0 ]; then
  for log in "$work"/out/*.log; do echo "--- $log"; tail -n 30 "$log"; done
fi
exit "$status"
