# The real application in the Linux sandbox, its window driven by keyboard
# under Xvfb as a pupil would (window.sh), against the reference service,
# which it trusts through the deployment settings file; the name server drops
# every query. After each step, snapshot STEP (lib.sh) records what blocking
# left. The steps and what they must leave are in EndToEndTest.cpp.
. /sandbox/lib.sh
build=$(cat /sandbox/build.path)
. /sandbox/window.sh
targets=(198.51.100.2:7000 198.51.100.3:7000 [2001:db8::2]:7000 [2001:db8::3]:7000
  198.51.100.3:853 [2001:db8::3]:853)
resolve_name=chatgpt.com

# The teacher's switch; waits for the COUNTth line TEXT in LOG.
teacher() {  # on|off log text count
  teacher_switch WIN001 "$1"
  wait_for_line "$out/$2" "$3" "$4"
}

echo '[{"code": "WIN001", "class_name": "5C", "teacher_name": "Mevr. Peeters", "school_name": "Sint-Jan",
  "is_blocked": false, "domains": ["chatgpt.com", "claude.ai", "gemini.google.com"],
  "ips": ["198.51.100.2", "2001:db8::2"], "ip_ranges": []}]' >/tmp/classes.json
drop_name_queries
hold_lookups_on_demand
start_service_and_x /tmp/classes.json || exit 1
: >"$out/calls.log"
snapshot before

start_and_join window-1.log win001 || exit 1
teacher on window-1.log 'Blokkering geactiveerd: ' 1 || exit 1
snapshot blocked-1
# The guardian leaves it while the application runs; killed, it restores.
bash /usr/local/bin/ka-tesmar-guardian.sh >"$out/guardian-1.out" 2>&1
snapshot guardian-app-running
kill -KILL "$window_pid"
wait "$window_pid" 2>/dev/null
bash /usr/local/bin/ka-tesmar-guardian.sh >"$out/guardian-2.out" 2>&1
snapshot guardian-app-gone

# Joined while the class is blocked; off, and on again with the lookups held
# and Ctrl+Q once they have begun. The quit's hold, restore and the session's
# deletion at the service come while they are still held (the snapshot is
# taken then); once they are let go the window ends.
start_and_join window-2.log win001 || exit 1
wait_for_line "$out/window-2.log" 'Blokkering geactiveerd: ' || exit 1
snapshot blocked-again
teacher off window-2.log 'Blokkering gedeactiveerd' 1 || exit 1
snapshot free-2
touch /tmp/lookups-held
: >/tmp/lookups-started
teacher on window-2.log 'Status: GEBLOKKEERD' 2 || exit 1
wait_until 60 test -s /tmp/lookups-started || echo "no lookups began" >>"$out/timeouts"
xdotool key --window "$window_id" ctrl+q
wait_for_line "$out/service.log" 'class-logout.php' || exit 1
snapshot quit
rm -f /tmp/lookups-held
wait_until_gone
exit 0
