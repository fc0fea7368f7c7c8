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
# linux also the table, the modes, the enabled timers, what a connection to
# each of $targets gets and what $resolve_name resolves to.
snapshot() {  # step
  local dir=$out/$1
  mkdir -p "$dir"
  save() { if [ -e "$1" ]; then cp "$1" "$dir/$2"; else echo - >"$dir/$2.missing"; fi; }
  save /etc/hosts hosts; save /etc/pf.conf pf.conf; save "$anchor" anchor
  save "$support/hosts_backup" backup; save "$support/active.lock" lock
  save /usr/local/bin/ka-tesmar-guardian.sh guardian.sh; save "$guardian_definition" guardian.plist
  if [ "$system" = linux ]; then
    nft list table inet ka_tesmar >"$dir/table" 2>/dev/null || echo - >"$dir/table.missing"
    stat -c '%a %U %n' "$support" "$support"/* /run/ka-tesmar /etc/hosts /usr/local/bin/* >"$dir/modes" 2>/dev/null
    cp /run/systemd-enabled "$dir/enabled" 2>/dev/null || : >"$dir/enabled"
    reach "${targets[@]}" | sort >"$dir/connect"
    [ -z "${resolve_name:-}" ] || timeout 2 getent ahosts "$resolve_name" | cut -d' ' -f1 | sort -u >"$dir/getent"
  fi
  ls -A /etc/pf.anchors /usr/local/bin /Library/LaunchDaemons "$support" /etc/systemd/system /tmp >"$dir/listing" 2>/dev/null
  cp "$out/calls.log" "$dir/calls.log" 2>/dev/null || : >"$dir/calls.log"
  : >"$out/calls.log"
  cp /var/run/launchd.loaded "$dir/loaded" 2>/dev/null || : >"$dir/loaded"
}

# Runs a script file as root the way the privileged runner does (bash FILE)
# or, with "line", as the automatic restore does (/bin/sh -c "$(cat FILE)").
run_script() {  # name file [line]
  local status=0 run=(bash "$2")
  [ -z "${3:-}" ] || run=(/bin/sh -c "$(cat "$2")")
  "${run[@]}" >"$out/$1.stdout" 2>"$out/$1.stderr" || status=$?
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

# Runs the command every 0.05 s until it succeeds; false after SECONDS.
wait_until() {  # seconds command...
  local end=$((SECONDS + $1))
  shift
  until "$@"; do
    [ $SECONDS -lt $end ] || return 1
    /usr/bin/sleep 0.05
  done
}
holds_line() { [ "$(grep -cF -- "$2" "$1" 2>/dev/null)" -ge "${3:-1}" ]; }

# Waits at most 60 s until FILE holds TEXT at least COUNT times.
wait_for_line() {  # file text [count]
  wait_until 60 holds_line "$@" || { echo "no '$2' in $1" >>"$out/timeouts" && return 1; }
}

# One line per ADDRESS:PORT ([v6]:port for IPv6), in any order: "ok" when the
# connection is answered (accepted or refused), "dropped" when nothing answers
# in 1.5 s.
reach() {  # target...
  local target host
  for target; do
    host=${target%:*} && host=${host#[} && host=${host%]}
    (timeout 1.5 bash -c "exec 3<>/dev/tcp/$host/${target##*:}" 2>/dev/null
      [ $? = 124 ] && echo "$target dropped" || echo "$target ok") &
  done
  wait
}
