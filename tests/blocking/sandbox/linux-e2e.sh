# The linux profile for real, in a Linux sandbox (KT_SANDBOX_SYSTEM=linux):
# the application's core follows the teacher's switch at the reference
# service on this namespace's loopback, while listeners wait at 198.51.100.2,
# 198.51.100.3, 2001:db8::2 and 2001:db8::3. After each step, check STEP records
# what a connection to each gets, what a blocked name resolves to, the table,
# the hosts file and the files blocking leaves.
out=/sandbox/out
build=$(cat /sandbox/build.path)
service=$build/tools/service/ka-tesmar-service
driver=$build/src/Ka_Tesmar_e2e_core
probe=$build/tests/blocking/kt-net-probe
base=https://127.0.0.1:8443
targets=(198.51.100.2:7000 198.51.100.3:7000 [2001:db8::2]:7000 [2001:db8::3]:7000
  198.51.100.3:853 [2001:db8::3]:853)
: >"$out/calls.log"

# Waits at most 60 s until FILE holds LINE at least COUNT times.
wait_for() {  # file text [count]
  for _ in $(seq 1 1200); do
    [ "$(grep -cF -- "$2" "$out/$1" 2>/dev/null)" -ge "${3:-1}" ] && return 0
    /usr/bin/sleep 0.05
  done
  echo "no '$2' in $1" >>"$out/timeouts"
  return 1
}

check() {  # step
  local dir=$out/$1
  mkdir -p "$dir"
  "$probe" connect "${targets[@]}" >"$dir/connect"
  # The addresses the system resolver gives, without repeats.
  { "$probe" resolve chatgpt.com || echo "status $?"; } | sort -u >"$dir/getent"
  nft list table inet ka_tesmar >"$dir/table" 2>&1 || echo absent >"$dir/table.absent"
  nft list ruleset >"$dir/ruleset" 2>&1
  cp /etc/hosts "$dir/hosts"
  ls -A /var/lib/ka-tesmar /usr/local/bin /etc/systemd/system/ka-tesmar* >"$dir/listing" 2>&1 || true
  cp /run/systemd-enabled "$dir/enabled" 2>/dev/null || : >"$dir/enabled"
  cp "$out/calls.log" "$dir/calls.log"
  : >"$out/calls.log"
}

teacher() {  # on|off
  "$service" class E2E001 --blocked "$1" --service "$base" --ca /tmp/tls/cert.pem \
    --admin-secret /tmp/admin.secret >>"$out/teacher.log" 2>&1
}

# The termination signal ends it with exit(0) from another thread while the
# state is alive; a sanitizer build must not call that a leak.
start_driver() {  # log
  ASAN_OPTIONS=detect_leaks=0 "$driver" "$base/Vexlo/api/" "$base/" /tmp/tls/cert.pem "Jan Peeters" e2e001 2>"$out/$1" &
  driver_pid=$!
}

"$probe" listen "${targets[@]}" >"$out/listen.log" 2>&1 &
"$service" serve --listen 127.0.0.1:8443 --classes /sandbox/classes.json --tls-dir /tmp/tls \
  --database /tmp/service.db --admin-secret /tmp/admin.secret >"$out/service.log" 2>&1 &
wait_for listen.log listening || exit 1
wait_for service.log 'Listening on ' || exit 1
check before

start_driver driver-1.log
wait_for driver-1.log 'Login SUCCESS!' || exit 1
teacher on
wait_for driver-1.log 'Blokkering geactiveerd: ' || exit 1
check blocked
teacher off
wait_for driver-1.log 'Blokkering gedeactiveerd' || exit 1
check free

# Blocked again; the guardian leaves it while the application runs.
teacher on
wait_for driver-1.log 'Blokkering geactiveerd: ' 2 || exit 1
: >"$out/calls.log"
bash /usr/local/bin/ka-tesmar-guardian.sh >"$out/guardian-1.out" 2>&1
check guardian-app-running
# The application is killed: the guardian restores.
kill -KILL "$driver_pid"
wait "$driver_pid" 2>/dev/null
bash /usr/local/bin/ka-tesmar-guardian.sh >"$out/guardian-2.out" 2>&1
check guardian-app-gone

# Started again while the class is still blocked, then the termination signal.
start_driver driver-2.log
wait_for driver-2.log 'Blokkering geactiveerd: ' || exit 1
check blocked-again
kill -TERM "$driver_pid"
status=0
wait "$driver_pid" || status=$?
echo "$status" >"$out/terminated.status"
check terminated
exit 0
