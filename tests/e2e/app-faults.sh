# The real application and what ends it while the class is blocked: a forced
# kill followed by a start as a pupil, and the termination signal.
. /sandbox/lib.sh
app=$(cat /sandbox/app.path)
mkdir -p /tmp/xdg && chmod 700 /tmp/xdg
# pkexec where no polkit daemon runs (a stand-in) and the root helper where
# the polkit action names it.
mount -t tmpfs -o mode=755 tmpfs /usr/libexec
mkdir -p /usr/libexec/ka-tesmar /tmp/pupil /tmp/xdg-pupil
cp "$(cat /sandbox/helper.path)" /usr/libexec/ka-tesmar/ka-tesmar-helper
cp "$(cat /sandbox/pkexec.path)" /tmp/pkexec
chmod 4755 /tmp/pkexec
mount --bind /tmp/pkexec /usr/bin/pkexec
chown 65534:65534 /tmp/pupil /tmp/xdg-pupil
chmod 700 /tmp/xdg-pupil
activate() {  # name: blocks through the root helper, as the application would
  echo '{"names":["chatgpt.com","claude.ai"],"addresses":["203.0.113.7","198.51.100.0/24"]}' |
    /usr/libexec/ka-tesmar/ka-tesmar-helper activate >"$out/$1.out" 2>&1
}

start_app() {  # log [as-pupil]
  local as=(env XDG_RUNTIME_DIR=/tmp/xdg)
  [ -z "${2:-}" ] || as=(setpriv --reuid=65534 --regid=65534 --clear-groups env HOME=/tmp/pupil XDG_RUNTIME_DIR=/tmp/xdg-pupil)
  "${as[@]}" QT_QPA_PLATFORM=offscreen "$app" --debug-log-to-stderr >"$out/$1" 2>&1 &
  app_pid=$!
}
stop_app() {  # signal name
  kill "-$1" "$app_pid"
  wait "$app_pid"
  echo $? >"$out/$2.status"
}

# Blocked while it runs, then killed: nothing of it can clean up.
start_app app-1.log
wait_for_line "$out/app-1.log" "] Wake observer geactiveerd"
activate activate-1
stop_app KILL app-1
snapshot killed

# The next start, as a pupil (not root), finds the block and restores before
# its window through pkexec and the root helper.
start_app app-2.log as-pupil
wait_for_line "$out/app-2.log" "] STARTUP CLEANUP: Netwerkinstellingen hersteld"
snapshot restarted
stop_app TERM app-2

# Blocked while it runs, then the termination signal.
start_app app-3.log
wait_for_line "$out/app-3.log" "] Wake observer geactiveerd"
activate activate-3
snapshot blocked-3
stop_app TERM app-3
snapshot terminated
