# Runs inside the sandbox for window-benchmark.sh: one measured run of the
# window per way of drawing, one after the other, and a report of both.
out=/sandbox/out
build=$(cat /sandbox/build.path)
seconds=$(cat /sandbox/seconds)
. /sandbox/lib.sh
. /sandbox/window.sh

cat >/tmp/classes.json <<'JSON'
[
  {"code": "IDLE01", "class_name": "5C", "teacher_name": "Mevr. Peeters",
   "school_name": "Sint-Jan", "is_blocked": false,
   "domains": ["chatgpt.com", "openai.com", "claude.ai", "gemini.google.com"],
   "ips": [], "ip_ranges": []}
]
JSON

# utime + stime of a process, in clock ticks.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
seconds_since() { awk -v from="$1" -v to="$EPOCHREALTIME" 'BEGIN { printf "%.2f", to - from }'; }

drop_name_queries
start_service_and_x /tmp/classes.json || exit 1

measure() {  # name [options...]
  local name=$1
  shift
  local log=app-$name.log
  teacher_switch IDLE01 off
  start_and_join "$log" idle01 "$@" || return 1
  local pid=$window_pid start switch
  # The teacher's switch until the block is in force.
  start=$EPOCHREALTIME
  teacher_switch IDLE01 on
  wait_for_line "$out/$log" 'Blokkering geactiveerd: ' || return 1
  switch=$(seconds_since "$start")
  # Settle, then measure an idle stretch of `seconds`.
  /usr/bin/sleep 3
  local hz before after
  hz=$(getconf CLK_TCK)
  before=$(cpu_ticks "$pid")
  /usr/bin/sleep "$seconds"
  after=$(cpu_ticks "$pid")
  local rss connections cpu
  rss=$(awk '/^VmRSS:/ { printf "%.1f", $2 / 1024 }' "/proc/$pid/status")
  connections=$(ss -Htnp state established dst 127.0.0.1:8443 | grep -c "pid=$pid," || true)
  cpu=$(awk -v t=$((after - before)) -v hz="$hz" -v s="$seconds" 'BEGIN { printf "%.2f", 100 * t / hz / s }')
  # Off, on again, and Ctrl+Q as soon as the poll has seen it: the quit
  # comes during the lookups (hold, restore and the session's deletion).
  teacher_switch IDLE01 off
  wait_for_line "$out/$log" 'Blokkering gedeactiveerd' || return 1
  teacher_switch IDLE01 on
  wait_for_line "$out/$log" 'Status: GEBLOKKEERD' 2 || return 1
  start=$EPOCHREALTIME
  quit_by_keyboard
  local quit
  quit=$(seconds_since "$start")
  printf '%-9s switch %5s s   RSS %7s MB   CPU %5s %%   connections %s   Ctrl+Q %5s s\n' \
    "$name" "$switch" "$rss" "$cpu" "$connections" "$quit" >>"$out/report"
  echo "$name $rss $cpu $connections $switch $quit" >>"$out/figures"
}

echo "switch until the block is in force; idle for $seconds s; Ctrl+Q during the lookups until the window is gone; $(basename "$build") build" >"$out/report"
measure opengl --opengl || exit 1
measure software || exit 1
awk '
  $1 == "opengl" { o_rss = $2; o_cpu = $3; o_switch = $5; o_quit = $6 }
  $1 == "software" { s_rss = $2; s_cpu = $3; s_conn = $4; s_switch = $5; s_quit = $6 }
  function ratio(a, b) { return b > 0 ? a / b : 0 }
  END {
    printf "software/opengl: switch %.2f, RSS %.2f, CPU %.2f, Ctrl+Q %.2f\n",
      ratio(s_switch, o_switch), ratio(s_rss, o_rss), ratio(s_cpu, o_cpu), ratio(s_quit, o_quit)
    ok = s_rss <= 90 && s_cpu <= 0.5 && s_conn == 1 && s_switch <= 8 && s_quit <= 6
    printf "goals (<= 90 MB, <= 0.5 %% CPU, one connection, switch <= 8 s, Ctrl+Q <= 6 s): %s\n",
      ok ? "met" : "MISSED"
    exit ok ? 0 : 1
  }' "$out/figures" >>"$out/report"
