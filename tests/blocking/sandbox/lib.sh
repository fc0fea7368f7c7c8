# Shared by the sandbox scenarios. Runs inside the sandbox.
out=/sandbox/out
system=$(cat /sandbox/system 2>/dev/null || echo macos)
if [ "$system" = linux ]; then
  support=/var/lib/ka-tesmar
  anchor=$support/ka_tesmar.nft
  guardian_definition=/etc/systemd/system/ka-tesmar-guardian.timer
else
  support='/Library/Application Support/KaTesmar'
  anchor=/etc/pf.anchors/ka.tesmar
  guardian_definition=/Library/LaunchDaemons/com.katesmar.guardian.plist
fi

# Copies what blocking may have written into $out/STEP/ (STEP/NAME.missing
# for a missing file) and the stand-ins' calls since the last snapshot. On
# linux also the table and ruleset, the modes, the enabled timers, what a
# connection to each of $targets gets and what $resolve_name resolves to.
snapshot() {  # step
  local dir=$out/$1
  mkdir -p "$dir"
  save() { if [ -e "$1" ]; then cp "$1" "$dir/$2"; else echo - >"$dir/$2.missing"; fi; }
  save /etc/hosts hosts
  save /etc/pf.conf pf.conf
  save "$anchor" anchor
  save "$support/hosts_backup" backup
  save "$support/active.lock" lock
  save /usr/local/bin/ka-tesmar-guardian.sh guardian.sh
  save "$guardian_definition" guardian.plist
  if [ "$system" = linux ]; then
    nft list table inet ka_tesmar >"$dir/table" 2>/dev/null || echo - >"$dir/table.missing"
    nft list ruleset >"$dir/ruleset" 2>&1
    stat -c '%a %U %n' "$support" "$support"/* /run/ka-tesmar /etc/hosts /usr/local/bin/* >"$dir/modes" 2>/dev/null
    cp /run/systemd-enabled "$dir/enabled" 2>/dev/null || : >"$dir/enabled"
    reach "${targets[@]}" >"$dir/connect"
    [ -z "${resolve_name:-}" ] || getent ahosts "$resolve_name" | cut -d' ' -f1 | sort -u >"$dir/getent"
  fi
  ls -A /etc/pf.anchors /usr/local/bin /Library/LaunchDaemons "$support" /etc/systemd/system /tmp >"$dir/listing" 2>/dev/null
  cp "$out/calls.log" "$dir/calls.log" 2>/dev/null || : >"$dir/calls.log"
  : >"$out/calls.log"
  cp /var/run/launchd.loaded "$dir/loaded" 2>/dev/null || : >"$dir/loaded"
}

# Runs a script file as the privileged runner does: bash, as root.
run_script() {  # name file
  local status=0
  bash "$2" >"$out/$1.stdout" 2>"$out/$1.stderr" || status=$?
  echo $status >"$out/$1.status"
}

# Runs a one-line command in /bin/sh, as the automatic restore does.
run_line() {  # name file
  local status=0
  /bin/sh -c "$(cat "$2")" >"$out/$1.stdout" 2>"$out/$1.stderr" || status=$?
  echo $status >"$out/$1.status"
}

# Puts the system back to how the sandbox started.
reset_system() {
  cp /sandbox/hosts.original /etc/hosts
  cp /sandbox/pf.conf.original /etc/pf.conf
  rm -rf "$support" /etc/pf.anchors/ka.tesmar /usr/local/bin/* /Library/LaunchDaemons/* /var/run/launchd.loaded
  : >"$out/calls.log"
}

# A home folder with the caches that activation deletes.
make_home() {
  local home="/Users/leerling met spatie"
  mkdir -p "$home/Library/Application Support/Cursor/Cache" "$home/Library/Application Support/Code/Code Cache" \
    "$home/Library/Caches/com.apple.Safari" "$home/Library/Caches/Firefox" "$home/Documents"
  echo werk >"$home/Documents/opdracht.txt"
}

# --- End to end (Linux sandbox) ---

# Waits at most 60 s until FILE holds TEXT at least COUNT times.
wait_for_line() {  # file text [count]
  for _ in $(seq 1 1200); do
    [ "$(grep -cF -- "$2" "$1" 2>/dev/null)" -ge "${3:-1}" ] && return 0
    /usr/bin/sleep 0.05
  done
  echo "no '$2' in $1" >>"$out/timeouts"
  return 1
}

# One line per ADDRESS:PORT ([v6]:port for IPv6): "ok" when the connection is
# answered (accepted or refused), "dropped" when nothing answers in 1.5 s.
reach() {  # target...
  local i=0 pids=() target host
  for target; do
    host=${target%:*} && host=${host#[} && host=${host%]}
    (timeout 1.5 bash -c "exec 3<>/dev/tcp/$host/${target##*:}" 2>/dev/null
      [ $? = 124 ] && echo "$target dropped" || echo "$target ok") >"/tmp/reach.$i" &
    pids+=($!) && i=$((i + 1))
  done
  [ $i = 0 ] || wait "${pids[@]}"
  for ((n = 0; n < i; n++)); do cat "/tmp/reach.$n"; done
}

# An X server on :77 for the windows of this sandbox.
start_x() {
  export DISPLAY=:77 XDG_RUNTIME_DIR=/tmp/runtime
  mkdir -p "$XDG_RUNTIME_DIR"
  chmod 700 "$XDG_RUNTIME_DIR"
  Xvfb :77 -screen 0 1024x768x24 -nolisten tcp >"$out/xvfb.log" 2>&1 &
  for _ in $(seq 1 100); do xdotool getmouselocation >/dev/null 2>&1 && return 0; /usr/bin/sleep 0.1; done
  echo "Xvfb did not start" >>"$out/timeouts"
  return 1
}

# Starts the application with a home of its own (as on a computer where it
# never ran), its debug log in LOG; sets window_pid and window_id.
start_window() {  # log [options...]
  local log=$1
  shift
  mkdir -p "/tmp/home-$window_runs"
  HOME=/tmp/home-$window_runs "$build/src/Ka_Tesmar" --debug-log-to-stderr "$@" >"$log" 2>&1 &
  window_pid=$!
  window_runs=$((window_runs + 1))
  window_id=$(timeout 60 xdotool search --sync --name '^Ridudiziv Ka Tesmar$' | head -n 1)
  xdotool windowfocus --sync "$window_id"
  /usr/bin/sleep 1
}
window_runs=0

# As a pupil with a keyboard: Tab past the terms to the box, tick it, Tab
# to "Doorgaan", Return; Tab to the name, type it, Return to the code, type
# it, Return. Waits for the login to succeed.
join_class_by_keyboard() {  # log name code
  xdotool key --delay 150 Tab Tab space Tab Return
  /usr/bin/sleep 1
  xdotool key Tab
  xdotool type --delay 40 "$2"
  xdotool key Return
  xdotool type --delay 40 "$3"
  xdotool key Return
  wait_for_line "$1" 'Login SUCCESS!'
}

# Seconds since the epoch, with fractions, and the seconds since such a time.
now() { date +%s.%N; }
seconds_since() { awk -v from="$1" -v to="$(now)" 'BEGIN { printf "%.2f", to - from }'; }

# Ctrl+Q to the window; waits at most 20 s for the process to end, then
# kills it. Sets quit_seconds (how long it took); false when it was killed.
quit_window_by_keyboard() {
  local start
  start=$(now)
  xdotool key --window "$window_id" ctrl+q
  for _ in $(seq 1 400); do
    if ! kill -0 "$window_pid" 2>/dev/null; then
      quit_seconds=$(seconds_since "$start")
      wait "$window_pid" 2>/dev/null
      return 0
    fi
    /usr/bin/sleep 0.05
  done
  quit_seconds=never
  kill -KILL "$window_pid"
  wait "$window_pid" 2>/dev/null
  return 1
}
