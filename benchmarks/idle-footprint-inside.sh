# Runs inside the sandbox for idle-footprint.sh: one measured run of the
# window per way of drawing, one after the other, and a report of both.
out=/sandbox/out
build=$(cat /sandbox/build.path)
seconds=$(cat /sandbox/seconds)
service=$build/tools/service/ka-tesmar-service
app=$build/src/Ka_Tesmar
. /sandbox/lib.sh

cat >/tmp/classes.json <<'JSON'
[
  {"code": "IDLE01", "class_name": "5C", "teacher_name": "Mevr. Peeters",
   "school_name": "Sint-Jan", "is_blocked": true,
   "domains": ["chatgpt.com", "openai.com", "claude.ai", "gemini.google.com"],
   "ips": [], "ip_ranges": []}
]
JSON

# utime + stime of a process, in clock ticks.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }

"$service" serve --listen 127.0.0.1:8443 --classes /tmp/classes.json --tls-dir "$build/service/tls" \
  --database :memory: >"$out/service.log" 2>&1 &
wait_for_line "$out/service.log" 'Listening on ' || exit 1
start_x || exit 1

measure() {  # name [options...]
  local name=$1
  shift
  local log=$out/app-$name.log
  start_window "$log" "$@"
  local pid=$window_pid
  join_class_by_keyboard "$log" 'Jan Peeters' idle01 || return 1
  wait_for_line "$log" 'Blokkering geactiveerd: ' || return 1
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
  quit_window_by_keyboard || echo "$name: still running 20 s after Ctrl+Q" >>"$out/report"
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
