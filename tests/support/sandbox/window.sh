# The real window in the Linux sandbox, driven by keyboard as a pupil would,
# and the teacher's switch at the reference service. Sourced after lib.sh by
# window-e2e.sh and benchmarks/window-benchmark.sh; needs $build.
service=$build/service/ka-tesmar-service

# The reference service on 127.0.0.1:8443 with the classes of FILE and a
# self-signed certificate of its own, which the application trusts through
# the deployment settings file, as a school sets it (so every build runs
# alike); then an X server.
start_service_and_x() {  # classes-file
  "$service" serve --listen 127.0.0.1:8443 --classes "$1" --tls-dir /tmp/tls \
    --database :memory: --admin-secret /tmp/admin.secret >"$out/service.log" 2>&1 &
  wait_for_line "$out/service.log" 'Listening on ' || return 1
  mkdir -p /etc/ka-tesmar
  echo 'ca_bundle=/tmp/tls/cert.pem' >/etc/ka-tesmar/ka-tesmar.conf
  export DISPLAY=:77 XDG_RUNTIME_DIR=/tmp/runtime
  mkdir -p -m 700 "$XDG_RUNTIME_DIR"
  Xvfb :77 -screen 0 1024x768x24 -nolisten tcp >"$out/xvfb.log" 2>&1 &
  wait_until 60 xdotool getmouselocation >/dev/null 2>&1 || { echo "no Xvfb" >>"$out/timeouts" && return 1; }
}

# The teacher's switch of class CODE.
teacher_switch() {  # code on|off
  "$service" class "$1" --blocked "$2" --service https://127.0.0.1:8443 \
    --ca /tmp/tls/cert.pem --admin-secret /tmp/admin.secret >>"$out/teacher.log" 2>&1
}

# The application with a home of its own, as on a computer where it never
# ran, its log in LOG; as a pupil with a keyboard: Tab past the terms to the
# box, tick it, Tab to "Doorgaan", Return; type the name at once (the login
# screen starts in its field), Return to the code, type it, Return. Sets
# window_pid and window_id.
start_and_join() {  # log code [option...]
  local log=$1 code=$2
  shift 2
  mkdir -p "/tmp/home-$log"
  HOME=/tmp/home-$log "$build/src/Ka_Tesmar" --debug-log-to-stderr "$@" >"$out/$log" 2>&1 &
  window_pid=$!
  window_id=$(timeout 60 xdotool search --sync --name '^Ridudiziv Ka Tesmar$' | head -n 1)
  xdotool windowfocus --sync "$window_id"
  /usr/bin/sleep 1
  xdotool key --delay 150 Tab Tab space Tab Return
  /usr/bin/sleep 1
  xdotool type --delay 40 'Jan Peeters'
  xdotool key Return
  xdotool type --delay 40 "$code"
  xdotool key Return
  wait_for_line "$out/$log" 'Login SUCCESS!'
}

# Waits until the window is gone (killed after 60 s, which counts as a
# timeout).
wait_until_gone() {
  gone() { ! kill -0 "$window_pid" 2>/dev/null; }
  wait_until 60 gone || { echo "still running 60 s after Ctrl+Q" >>"$out/timeouts" && kill -KILL "$window_pid"; }
  wait "$window_pid" 2>/dev/null
}

quit_by_keyboard() {
  xdotool key --window "$window_id" ctrl+q
  wait_until_gone
}

# A name server that never answers: queries to port 53 are dropped, so each
# lookup takes dig's full 2 s.
drop_name_queries() {
  nft -f - <<'NFT'
table inet dead_name_server {
  chain output { type filter hook output priority 0; meta l4proto { tcp, udp } th dport 53 drop; }
}
NFT
}

# From now on every address lookup (/usr/bin/dig, replaced in the sandbox's
# own mount namespace) notes its start in /tmp/lookups-started and waits
# while /tmp/lookups-held exists, at most 120 s, before it asks the real dig.
hold_lookups_on_demand() {
  cp /usr/bin/dig /tmp/dig.real
  cat >/tmp/dig.held <<'DIG'
#!/bin/bash
echo "$$" >>/tmp/lookups-started
for _ in $(seq 1200); do [ -e /tmp/lookups-held ] || break; /usr/bin/sleep 0.1; done
exec /tmp/dig.real "$@"
DIG
  chmod 755 /tmp/dig.held
  mount --bind /tmp/dig.held /usr/bin/dig
}
