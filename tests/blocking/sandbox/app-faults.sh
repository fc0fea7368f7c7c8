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
