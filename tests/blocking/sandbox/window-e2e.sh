# The real application for real, in a Linux sandbox (KT_SANDBOX_SYSTEM=linux),
# its window driven by keyboard under Xvfb as a pupil would: terms, login,
# then the teacher switches on; the guardian runs while the application runs
# and after it was killed. A second start joins the blocked class; the
# teacher switches off and on again, and Ctrl+Q comes while that
# activation still looks up addresses. The name server drops every query, so
# each lookup takes dig's full 2 s. After each step, snapshot STEP (lib.sh)
# records what blocking left; STEP/seconds how long the switch took.
. /sandbox/lib.sh
build=$(cat /sandbox/build.path)
service=$build/tools/service/ka-tesmar-service
targets=(198.51.100.2:7000 198.51.100.3:7000 [2001:db8::2]:7000 [2001:db8::3]:7000
  198.51.100.3:853 [2001:db8::3]:853)
resolve_name=chatgpt.com

seconds_since() { awk -v from="$1" -v to="$EPOCHREALTIME" 'BEGIN { printf "%.2f", to - from }'; }

# The teacher's switch; waits for the COUNTth line TEXT in LOG and records the
# seconds from the switch in STEP/seconds.
teacher() {  # on|off step log text count
  local start=$EPOCHREALTIME
  "$service" class WIN001 --blocked "$1" --service https://127.0.0.1:8443 \
    --ca "$build/service/tls/cert.pem" --admin-secret /tmp/admin.secret >>"$out/teacher.log" 2>&1
  wait_for_line "$out/$3" "$4" "$5" || return 1
  mkdir -p "$out/$2"
  seconds_since "$start" >"$out/$2/seconds"
}

# The application with a home of its own, as on a computer where it never
# ran, its log in LOG; as a pupil with a keyboard: Tab past the terms to the
# box, tick it, Tab to "Doorgaan", Return; Tab to the name, type it, Return
# to the code, type it, Return. Sets window_pid and window_id.
start_and_join() {  # log
  mkdir -p "/tmp/home-$1"
  HOME=/tmp/home-$1 "$build/src/Ka_Tesmar" --debug-log-to-stderr >"$out/$1" 2>&1 &
  window_pid=$!
  window_id=$(timeout 60 xdotool search --sync --name '^Ridudiziv Ka Tesmar$' | head -n 1)
  xdotool windowfocus --sync "$window_id"
  /usr/bin/sleep 1
  xdotool key --delay 150 Tab Tab space Tab Return
  /usr/bin/sleep 1
  xdotool key Tab
  xdotool type --delay 40 'Jan Peeters'
  xdotool key Return
  xdotool type --delay 40 win001
  xdotool key Return
  wait_for_line "$out/$1" 'Login SUCCESS!'
}

echo '[{"code": "WIN001", "class_name": "5C", "teacher_name": "Mevr. Peeters", "school_name": "Sint-Jan",
  "is_blocked": false, "domains": ["chatgpt.com", "claude.ai", "gemini.google.com"],
  "ips": ["198.51.100.2", "2001:db8::2"], "ip_ranges": []}]' >/tmp/classes.json
# A name server that never answers: queries to port 53 are dropped.
nft -f - <<'NFT'
table inet dead_name_server {
  chain output { type filter hook output priority 0; meta l4proto { tcp, udp } th dport 53 drop; }
}
NFT

"$service" serve --listen 127.0.0.1:8443 --classes /tmp/classes.json \
  --tls-dir "$build/service/tls" --database :memory: --admin-secret /tmp/admin.secret \
  >"$out/service.log" 2>&1 &
wait_for_line "$out/service.log" 'Listening on ' || exit 1
export DISPLAY=:77 XDG_RUNTIME_DIR=/tmp/runtime
mkdir -p -m 700 "$XDG_RUNTIME_DIR"
Xvfb :77 -screen 0 1024x768x24 -nolisten tcp >"$out/xvfb.log" 2>&1 &
wait_until 5 xdotool getmouselocation >/dev/null 2>&1 || { echo "no Xvfb" >>"$out/timeouts" && exit 1; }
: >"$out/calls.log"
snapshot before

start_and_join window-1.log || exit 1
teacher on blocked-1 window-1.log 'Blokkering geactiveerd: ' 1 || exit 1
snapshot blocked-1
# The guardian leaves it while the application runs; killed, it restores.
bash /usr/local/bin/ka-tesmar-guardian.sh >"$out/guardian-1.out" 2>&1
snapshot guardian-app-running
kill -KILL "$window_pid"
wait "$window_pid" 2>/dev/null
bash /usr/local/bin/ka-tesmar-guardian.sh >"$out/guardian-2.out" 2>&1
snapshot guardian-app-gone

# Joined while the class is blocked; off, and on again with Ctrl+Q as soon
# as the poll has seen it: the lookups run.
start_and_join window-2.log || exit 1
wait_for_line "$out/window-2.log" 'Blokkering geactiveerd: ' || exit 1
snapshot blocked-again
teacher off free-2 window-2.log 'Blokkering gedeactiveerd' 1 || exit 1
snapshot free-2
teacher on pending window-2.log 'Status: GEBLOKKEERD' 2 || exit 1
start=$EPOCHREALTIME
xdotool key --window "$window_id" ctrl+q
gone() { ! kill -0 "$window_pid" 2>/dev/null; }
if wait_until 20 gone; then seconds_since "$start" >"$out/quit.seconds"; else kill -KILL "$window_pid"; fi
wait "$window_pid" 2>/dev/null
snapshot quit
exit 0
