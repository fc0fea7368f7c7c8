#!/usr/bin/env bash
# Memory of the class service per student connection: each given build holds
# N kept-alive TLS connections (h2load, default 5,000) that poll every 5 s,
# and its resident memory is read from /proc once they are all open, beside
# what it held before. One line per build, run one after the other.
# Usage: benchmarks/connection-memory.sh [-c N] BINARY...   (loopback port 18460)
set -euo pipefail
connections=5000
[ "${1-}" = -c ] && connections=$2 && shift 2
command -v h2load >/dev/null || { echo "needs h2load (apt-get install nghttp2-client)" >&2; exit 77; }
ulimit -n $((connections + 1000))
rss() { awk '/VmRSS/ { print $2 }' "/proc/$1/status"; }
printf '| build | idle kB | with %d connections kB | kB per connection |\n|---|---:|---:|---:|\n' "$connections"
for binary in "$@"; do
    work=$(mktemp -d)
    echo '[{"code":"ABC123","class_name":"3B"}]' >"$work/classes.json"
    "$binary" serve --listen 127.0.0.1:18460 --database :memory: --tls-dir "$work/tls" \
        --admin-secret "$work/secret" --classes "$work/classes.json" >"$work/service.log" 2>&1 &
    service=$!
    for _ in $(seq 50); do curl -sk -o /dev/null https://127.0.0.1:18460/ && break; sleep 0.2; done
    token=$(curl -sk -d 'student_name=Jan&class_code=ABC123' \
        https://127.0.0.1:18460/Vexlo/api/class-login.php | sed -n 's/.*"session_token":"\([0-9a-f]*\)".*/\1/p')
    idle=$(rss $service)
    h2load --h1 -c "$connections" --rps 0.2 -D 25 \
        "https://127.0.0.1:18460/Vexlo/api/class-status.php?token=$token" >"$work/h2load.log" 2>&1 &
    load=$!
    sleep 20  # every connection open and polling
    held=$(rss $service)
    wait $load
    grep -q " 0 failed, 0 errored" "$work/h2load.log" || echo "$binary: some polls failed" >&2
    printf '| %s | %d | %d | %.1f |\n' "$binary" "$idle" "$held" "$(awk -v h="$held" -v i="$idle" -v n="$connections" 'BEGIN { print (h - i) / n }')"
    kill $service; wait $service 2>/dev/null || true
    rm -rf "$work"
done
