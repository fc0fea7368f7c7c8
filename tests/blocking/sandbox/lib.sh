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

# Copies what blocking may have written into $out/<step>/ ("-" for a missing file).
snapshot() {
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
  fi
  stat -c '%a %U:%G' /Library/LaunchDaemons/com.katesmar.guardian.plist >"$dir/plist.mode" 2>/dev/null || true
  stat -c '%a' /usr/local/bin/ka-tesmar-guardian.sh >"$dir/guardian.mode" 2>/dev/null || true
  ls -A /etc/pf.anchors /usr/local/bin /Library/LaunchDaemons "$support" /tmp >"$dir/listing" 2>&1 || true
  cp "$out/calls.log" "$dir/calls.log" 2>/dev/null || : >"$dir/calls.log"
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
