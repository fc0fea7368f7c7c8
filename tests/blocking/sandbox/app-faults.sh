# The real application and what ends it while the class is blocked: a forced
# kill followed by a new start, and the termination signal.
. /sandbox/lib.sh
app=$(cat /sandbox/app.path)
mkdir -p /tmp/xdg && chmod 700 /tmp/xdg

start_app() {  # log
  XDG_RUNTIME_DIR=/tmp/xdg QT_QPA_PLATFORM=offscreen "$app" --debug-log-to-stderr >"$out/$1" 2>&1 &
  app_pid=$!
}

# Waits at most 20 s until the application's log holds the line.
wait_for_log() {  # log line
  for _ in $(seq 1 400); do
    grep -qF -- "] $2" "$out/$1" 2>/dev/null && return 0
    /usr/bin/sleep 0.05
  done
  echo "no '$2'" >"$out/$1.timeout"
  return 1
}

stop_app() {  # signal name
  local status=0
  kill "-$1" "$app_pid"
  wait "$app_pid" || status=$?
  echo $status >"$out/$2.status"
}

make_home

# Blocked while it runs, then killed: nothing of it can clean up.
start_app app-1.log
wait_for_log app-1.log "Wake observer geactiveerd"
run_script activate-1 /sandbox/activate.sh
snapshot blocked-1
stop_app KILL app-1
snapshot killed

# The next start finds the lock file and restores before its window.
start_app app-2.log
wait_for_log app-2.log "STARTUP CLEANUP: Netwerkinstellingen hersteld"
snapshot restarted
stop_app TERM app-2

# Blocked while it runs, then the termination signal.
start_app app-3.log
wait_for_log app-3.log "Wake observer geactiveerd"
run_script activate-3 /sandbox/activate.sh
snapshot blocked-3
: >"$out/calls.log"
stop_app TERM app-3
snapshot terminated

# A crash while blocked, then a start as a pupil (not root): the start-up
# restore goes through pkexec (a stand-in here) and the root helper, and the
# log says the network is back only then.
mount -t tmpfs -o mode=755 tmpfs /usr/libexec
mkdir -p /usr/libexec/ka-tesmar
cp "$(cat /sandbox/helper.path)" /usr/libexec/ka-tesmar/ka-tesmar-helper
cp "$(cat /sandbox/pkexec.path)" /tmp/pkexec
chmod 4755 /tmp/pkexec
mount --bind /tmp/pkexec /usr/bin/pkexec
run_script activate-4 /sandbox/activate.sh
snapshot blocked-4
mkdir -p /tmp/pupil /tmp/xdg-pupil
chown 65534:65534 /tmp/pupil /tmp/xdg-pupil
chmod 700 /tmp/xdg-pupil
setpriv --reuid=65534 --regid=65534 --clear-groups env HOME=/tmp/pupil XDG_RUNTIME_DIR=/tmp/xdg-pupil \
  QT_QPA_PLATFORM=offscreen "$app" --debug-log-to-stderr >"$out/app-4.log" 2>&1 &
app_pid=$!
wait_for_log app-4.log "STARTUP CLEANUP: Netwerkinstellingen hersteld"
snapshot pupil-start
stop_app TERM app-4
