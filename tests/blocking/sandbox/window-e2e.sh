# The real window for real, in a Linux sandbox (KT_SANDBOX_SYSTEM=linux),
# driven by keyboard under Xvfb as a pupil would: terms, login, then the
# teacher switches on, off, on, off and on again, and Ctrl+Q comes while that
# last activation still looks up addresses. The name server drops every
# query, so each lookup takes dig's full 2 s. After each step, snapshot
# STEP (lib.sh) records what blocking left; STEP/seconds how long the switch
# took to take effect.
. /sandbox/lib.sh
build=$(cat /sandbox/build.path)
service=$build/tools/service/ka-tesmar-service
targets=(198.51.100.2:7000 198.51.100.3:7000)
log=$out/window.log

# The teacher's switch; when COUNT is given, waits for the COUNTth log line
# TEXT and records the seconds from the switch in STEP/seconds.
teacher() {  # on|off step text count
  local start
  start=$(now)
  "$service" class WIN001 --blocked "$1" --service https://127.0.0.1:8443 \
    --ca "$build/service/tls/cert.pem" --admin-secret /tmp/admin.secret >>"$out/teacher.log" 2>&1
  wait_for_line "$log" "$3" "$4" || return 1
  mkdir -p "$out/$2"
  seconds_since "$start" >"$out/$2/seconds"
}

cat >/tmp/classes.json <<'JSON'
[
  {"code": "WIN001", "class_name": "5C", "teacher_name": "Mevr. Peeters",
   "school_name": "Sint-Jan", "is_blocked": false,
   "domains": ["chatgpt.com", "claude.ai", "gemini.google.com"],
   "ips": ["198.51.100.2"], "ip_ranges": []}
]
JSON
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
start_x || exit 1
snapshot before

start_window "$log"
join_class_by_keyboard "$log" 'Jan Peeters' win001 || exit 1
teacher on blocked-1 'Blokkering geactiveerd: ' 1 || exit 1
snapshot blocked-1
teacher off free-1 'Blokkering gedeactiveerd' 1 || exit 1
snapshot free-1
teacher on blocked-2 'Blokkering geactiveerd: ' 2 || exit 1
snapshot blocked-2
teacher off free-2 'Blokkering gedeactiveerd' 2 || exit 1
# On again, and Ctrl+Q as soon as the poll has seen it: the lookups run.
teacher on pending 'Status: GEBLOKKEERD' 3 || exit 1
quit_window_by_keyboard
echo "$quit_seconds" >"$out/quit.seconds"
snapshot quit
exit 0
