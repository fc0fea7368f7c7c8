# Runs inside the sandbox for idle-footprint.sh: one measured run of the
# window per way of drawing, one after the other, and a report of both.
out=/sandbox/out
build=$(cat /sandbox/build.path)
seconds=$(cat /sandbox/seconds)
service=$build/tools/service/ka-tesmar-service
app=$build/src/Ka_Tesmar
export DISPLAY=:77 XDG_RUNTIME_DIR=/tmp/runtime
mkdir -p "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

cat >/tmp/classes.json <<'JSON'
[
  {"code": "IDLE01", "class_name": "5C", "teacher_name": "Mevr. Peeters",
   "school_name": "Sint-Jan", "is_blocked": true,
   "domains": ["chatgpt.com", "openai.com", "claude.ai", "gemini.google.com"],
   "ips": [], "ip_ranges": []}
]
JSON

# Waits at most 60 s until FILE holds TEXT COUNT times.
wait_for() {  # file text [count]
  for _ in $(seq 1 600); do
    [ "$(grep -cF -- "$2" "$1" 2>/dev/null)" -ge "${3:-1}" ] && return 0
    /usr/bin/sleep 0.1
  done
  echo "no '$2' in $1" >&2
  return 1
}

# utime + stime of a process, in clock ticks.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }

"$service" serve --listen 127.0.0.1:8443 --classes /tmp/classes.json --tls-dir "$build/service/tls" \
  >"$out/service.log" 2>&1 &
wait_for "$out/service.log" 'Listening on ' || exit 1
Xvfb :77 -screen 0 1024x768x24 -nolisten tcp >"$out/xvfb.log" 2>&1 &
for _ in $(seq 1 100); do xdotool getmouselocation >/dev/null 2>&1 && break; /usr/bin/sleep 0.1; done

measure() {  # name [options...]
  local name=$1
  shift
  local log=$out/app-$name.log
  # A home of its own: each run starts as on a computer where it never ran.
  mkdir -p "/tmp/home-$name"
  HOME=/tmp/home-$name "$app" --debug-log-to-stderr "$@" >"$log" 2>&1 &
  local pid=$!
  local window
  window=$(timeout 60 xdotool search --sync --name '^Ridudiziv Ka Tesmar$' | head -n 1)
  xdotool windowfocus --sync "$window"
  /usr/bin/sleep 1
  # The terms: Tab to the box, tick it, Tab to "Doorgaan", Return.
  xdotool key --delay 150 Tab space Tab Return
  /usr/bin/sleep 1
  # The login: Tab to the name, type it, Return moves to the code, Return logs in.
  xdotool key Tab
  xdotool type --delay 40 'Jan Peeters'
  xdotool key Return
  xdotool type --delay 40 'idle01'
  xdotool key Return
  wait_for "$log" 'Blokkering geactiveerd: ' || return 1
  # Settle, then measure an idle stretch of `seconds`.
  /usr/bin/sleep 3
  local hz start end
  hz=$(getconf CLK_TCK)
  start=$(cpu_ticks "$pid")
  /usr/bin/sleep "$seconds"
  end=$(cpu_ticks "$pid")
  local rss connections
  rss=$(awk '/^VmRSS:/ { printf "%.1f", $2 / 1024 }' "/proc/$pid/status")
  connections=$(ss -Htnp state established dst 127.0.0.1:8443 | grep -c "pid=$pid," || true)
  local cpu
  cpu=$(awk -v t=$((end - start)) -v hz="$hz" -v s="$seconds" 'BEGIN { printf "%.2f", 100 * t / hz / s }')
  printf '%-9s RSS %7s MB   CPU %5s %%   connections to the service %s\n' \
    "$name" "$rss" "$cpu" "$connections" >>"$out/report"
  echo "$name $rss $cpu $connections" >>"$out/figures"
  # Ctrl+Q: the quit takes the blocking out and ends the window.
  xdotool key --window "$window" ctrl+q
  local ended=no
  for _ in $(seq 1 100); do
    kill -0 "$pid" 2>/dev/null || { ended=yes; break; }
    /usr/bin/sleep 0.1
  done
  [ "$ended" = yes ] || { kill -KILL "$pid"; echo "$name: still running 10 s after Ctrl+Q" >>"$out/report"; }
  wait "$pid" 2>/dev/null || true
}

echo "idle for $seconds s after the block is in force; $(basename "$(dirname "$(dirname "$app")")") build" >"$out/report"
measure opengl --opengl || exit 1
measure software || exit 1
awk '
  $1 == "opengl" { o_rss = $2; o_cpu = $3 }
  $1 == "software" { s_rss = $2; s_cpu = $3; s_conn = $4 }
  END {
    printf "software/opengl: RSS %.2f, CPU %.2f\n", s_rss / o_rss, (o_cpu > 0 ? s_cpu / o_cpu : 0)
    ok = s_rss <= 90 && s_cpu <= 0.5 && s_conn == 1
    printf "goals (<= 90 MB, <= 0.5 %% CPU, one connection): %s\n", ok ? "met" : "MISSED"
    exit ok ? 0 : 1
  }' "$out/figures" >>"$out/report"
