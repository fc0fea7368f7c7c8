#!/usr/bin/env bash
# How often the answer to a refused request reaches the client: starts
# SERVICE on a free loopback port and sends TRIES student logins with a
# 100 KiB and with a 1 MB body, and TRIES requests with a 32 KiB head, each
# with curl on a connection of its own; prints how many got which status
# (000: no answer, the connection was reset first).
#
# Usage: benchmarks/refusal-answers.sh [SERVICE] [TRIES]
#   SERVICE  default build/default/tools/service/ka-tesmar-service
#   TRIES    default 20
set -euo pipefail
service=${1:-build/default/tools/service/ka-tesmar-service}
tries=${2:-20}
work=$(mktemp -d)
"$service" serve --listen 127.0.0.1:0 --tls-dir "$work/tls" --database :memory: >"$work/log" 2>&1 &
pid=$!
trap 'kill $pid; wait $pid; rm -rf "$work"' EXIT
port=
for _ in $(seq 300); do
  port=$(sed -n 's|^Listening on https://127\.0\.0\.1:\([0-9]*\)/$|\1|p' "$work/log")
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || { cat "$work/log"; echo "the service did not start"; exit 1; }

printf 'a%.0s' $(seq 102400) >"$work/100KiB"
printf 'a%.0s' $(seq 1000000) >"$work/1MB"
head=$(printf 'a%.0s' $(seq 32768))
statuses() { sort | uniq -c | awk '{ printf "  %s: %d", $2, $1 } END { print "" }'; }
try() { curl -sk -o /dev/null -w '%{http_code}\n' "$@" || true; }

for body in 100KiB 1MB; do
  printf '%-18s' "$body body:"
  for _ in $(seq "$tries"); do
    try --data-binary @"$work/$body" "https://127.0.0.1:$port/Vexlo/api/class-login.php"
  done | statuses
done
printf '%-18s' "32 KiB head:"
for _ in $(seq "$tries"); do try -H "X-Big: $head" "https://127.0.0.1:$port/"; done | statuses
