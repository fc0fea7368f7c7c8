# The linux profile for real, in a Linux sandbox (KT_SANDBOX_SYSTEM=linux):
# the application's core follows the teacher's switch at the reference
# service on this namespace's loopback; after each step, snapshot STEP
# (lib.sh) records what blocking left and what a connection to each target gets.
. /sandbox/lib.sh
build=$(cat /sandbox/build.path)
service=$build/tools/service/ka-tesmar-service
base=https://127.0.0.1:8443
targets=(198.51.100.2:7000 198.51.100.3:7000 [2001:db8::2]:7000 [2001:db8::3]:7000
  198.51.100.3:853 [2001:db8::3]:853)
resolve_name=chatgpt.com
: >"$out/calls.log"

teacher() {  # on|off
  "$service" class E2E001 --blocked "$1" --service "$base" --ca /tmp/tls/cert.pem \
    --admin-secret /tmp/admin.secret >>"$out/teacher.log" 2>&1
}

# The termination signal ends it with exit(0) from another thread while the
# state is alive; a sanitizer build must not call that a leak.
start_driver() {  # log
  ASAN_OPTIONS=detect_leaks=0 "$build/src/Ka_Tesmar_e2e_core" "$base/Vexlo/api/" "$base/" \
    /tmp/tls/cert.pem "Jan Peeters" e2e001 2>"$out/$1" &
  driver_pid=$!
}

"$service" serve --listen 127.0.0.1:8443 --classes /sandbox/classes.json --tls-dir /tmp/tls \
  --database /tmp/service.db --admin-secret /tmp/admin.secret >"$out/service.log" 2>&1 &
wait_for_line "$out/service.log" 'Listening on ' || exit 1
snapshot before

start_driver driver-1.log
wait_for_line "$out/driver-1.log" 'Login SUCCESS!' || exit 1
teacher on
wait_for_line "$out/driver-1.log" 'Blokkering geactiveerd: ' || exit 1
snapshot blocked
teacher off
wait_for_line "$out/driver-1.log" 'Blokkering gedeactiveerd' || exit 1
snapshot free

# Blocked again; the guardian leaves it while the application runs.
teacher on
wait_for_line "$out/driver-1.log" 'Blokkering geactiveerd: ' 2 || exit 1
: >"$out/calls.log"
bash /usr/local/bin/ka-tesmar-guardian.sh >"$out/guardian-1.out" 2>&1
snapshot guardian-app-running
# The application is killed: the guardian restores.
kill -KILL "$driver_pid"
wait "$driver_pid" 2>/dev/null
bash /usr/local/bin/ka-tesmar-guardian.sh >"$out/guardian-2.out" 2>&1
snapshot guardian-app-gone

# Started again while the class is still blocked, then the termination signal.
start_driver driver-2.log
wait_for_line "$out/driver-2.log" 'Blokkering geactiveerd: ' || exit 1
snapshot blocked-again
kill -TERM "$driver_pid"
status=0
wait "$driver_pid" || status=$?
echo "$status" >"$out/terminated.status"
snapshot terminated
exit 0
