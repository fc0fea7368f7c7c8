#!/bin/bash
# Makes BUILD_DIR/service/tls/cert.pem and key.pem when they are missing: the
# reference class service's certificate, which the application built there
# trusts by default. The service makes them on its first start.
# Usage: scripts/reference-certificate.sh BUILD_DIR
set -euo pipefail
build=$1
tls=$build/service/tls
[ -f "$tls/cert.pem" ] && [ -f "$tls/key.pem" ] && exit 0
mkdir -p "$build/service"
classes=$(mktemp)
log=$(mktemp)
echo '[]' >"$classes"
"$build/service/ka-tesmar-service" serve --listen 127.0.0.1:0 --classes "$classes" \
  --tls-dir "$tls" --database :memory: >"$log" 2>&1 &
pid=$!
for _ in $(seq 1 300); do
  [ -f "$tls/cert.pem" ] && [ -f "$tls/key.pem" ] && break
  sleep 0.1
done
kill "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true
rm -f "$classes" "$log"
[ -f "$tls/cert.pem" ] || { echo "no certificate made in $tls" >&2; exit 1; }
