#!/usr/bin/env bash
# Installs what is missing, builds the application and the class service,
# starts the service on 127.0.0.1:8443 with a demo teacher and the demo class,
# prints the teacher page's address with a one-time password and the class
# code, and runs the application, whose default deployment settings point at
# that service. The service stops when the application ends.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default
cmake --build --preset default --target Ka_Tesmar ka-tesmar-service ka-tesmar-helper

build=build/default
service=$build/service/ka-tesmar-service
state=$build/service            # database, certificate (the CA default), secret and log
database=$state/service.db
classes=$state/classes.json
log=$state/service.log
mkdir -p "$state"

# The demo teacher gets a fresh one-time password at every start.
if ! account=$("$service" teacher add demo --display "Mevr. Demo" --database "$database" 2>/dev/null); then
  account=$("$service" teacher reset demo --display "Mevr. Demo" --database "$database")
fi
password=$(sed -n 's/.*one-time password: //p' <<<"$account")

cat >"$classes" <<'JSON'
[
  {"code": "DEMO42", "class_name": "Demoklas", "teacher_name": "Mevr. Demo",
   "school_name": "Ka Tesmar school", "teacher_account": "demo", "is_blocked": false,
   "domains": ["chatgpt.com", "openai.com", "claude.ai", "gemini.google.com"],
   "ips": [], "ip_ranges": []}
]
JSON

"$service" serve --listen 127.0.0.1:8443 --database "$database" --classes "$classes" \
  --tls-dir "$state/tls" >"$log" 2>&1 &
service_pid=$!
trap 'kill "$service_pid" 2>/dev/null || true' EXIT

# Wait until it listens (it makes its certificate first on a fresh checkout).
for _ in $(seq 1 300); do
  grep -q '^Listening on ' "$log" && break
  if ! kill -0 "$service_pid" 2>/dev/null; then
    cat "$log"
    echo "The class service did not start (is port 8443 in use?)." >&2
    exit 1
  fi
  sleep 0.1
done
grep -q '^Listening on ' "$log" || { cat "$log"; echo "The class service did not start." >&2; exit 1; }

codes=$(sed -n 's/^Class \([A-Z0-9]*\):.*/\1/p' "$log" | tr '\n' ' ')
echo
echo "Class service: https://127.0.0.1:8443/  (requests are logged in $log)"
echo "Teacher page:  https://127.0.0.1:8443/leerkracht/  (certificate: $state/tls/cert.pem)"
echo "  name: demo   one-time password: $password"
echo "Klascode: ${codes% }"
echo

"$build/src/Ka_Tesmar" "$@"
