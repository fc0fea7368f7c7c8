#!/bin/bash
set -u
set -o pipefail
umask 022
export LC_ALL=C PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
KT_STATE='/var/lib/ka-tesmar'
KT_HOSTS='/etc/hosts'
KT_BACKUP="$KT_STATE/hosts_backup"
KT_BACKUP_SUM="$KT_STATE/hosts_backup.sum"
KT_LOCK="$KT_STATE/active.lock"
KT_NFT="$KT_STATE/ka_tesmar.nft"
KT_RUN='/run/ka-tesmar'
KT_APP_LOCK='/run/ka-tesmar-app.lock'
KT_GUARDIAN='/usr/local/bin/ka-tesmar-guardian.sh'
KT_UNITS='/etc/systemd/system'
kt_fail() { echo "$*" >&2; exit 1; }
kt_root_file() { [ ! -L "$1" ] && [ -f "$1" ] && [ "$(stat -c %u -- "$1")" = 0 ]; }
kt_present() { [ -e "$1" ] || [ -L "$1" ]; }
kt_state_dir() {
  if [ -L "$KT_STATE" ]; then echo "$KT_STATE is een link: geweigerd" >&2; return 1; fi
  mkdir -p -m 0700 -- "$KT_STATE" || return 1
  if [ ! -d "$KT_STATE" ] || [ "$(stat -c %u -- "$KT_STATE")" != 0 ]; then
    echo "$KT_STATE is geen map van root: geweigerd" >&2; return 1
  fi
  chmod 0700 -- "$KT_STATE"
}
kt_replace() {
  local target=$1 mode=$2 tmp rc
  shift 2
  tmp=$(mktemp -- "$(dirname -- "$target")/.ka-tesmar.XXXXXX") || return 1
  if ! { "$@" > "$tmp" && chmod "$mode" -- "$tmp" && sync -- "$tmp"; }; then
    rm -f -- "$tmp"; return 1
  fi
  if mv -f -T -- "$tmp" "$target" 2>/dev/null; then return 0; fi
  cat -- "$tmp" > "$target"; rc=$?
  rm -f -- "$tmp"
  return $rc
}
kt_without_blocks() {
  sed -e '/# Ka Tesmar Start/,/# Ka Tesmar End/d' -e '/# DNS_TESMAR_START/,/# DNS_TESMAR_END/d' -e '/# DNS Tesmar/d' -- "$1"
}
kt_checksum() { echo "$(stat -c %s -- "$1") $(sha256sum < "$1" | cut -d ' ' -f 1)"; }
kt_write_backup() {
  kt_replace "$KT_BACKUP" 600 kt_without_blocks "$KT_HOSTS" &&
    kt_replace "$KT_BACKUP_SUM" 600 kt_checksum "$KT_BACKUP"
}
kt_backup_complete() {
  kt_root_file "$KT_BACKUP" && kt_root_file "$KT_BACKUP_SUM" &&
    [ "$(kt_checksum "$KT_BACKUP")" = "$(cat -- "$KT_BACKUP_SUM")" ]
}
kt_flush_caches() {
  resolvectl flush-caches 2>/dev/null || true
  nscd -i hosts 2>/dev/null || true
}
kt_remove_guardian() {
  systemctl --no-ask-password disable --now ka-tesmar-guardian.timer >/dev/null 2>&1 || true
  rm -f -- "$KT_UNITS/ka-tesmar-guardian.timer" "$KT_UNITS/ka-tesmar-guardian.service" \
    "$KT_UNITS/timers.target.wants/ka-tesmar-guardian.timer" "$KT_GUARDIAN"
  systemctl --no-ask-password daemon-reload >/dev/null 2>&1 || true
}
kt_has_blocks() { grep -q -e '# Ka Tesmar Start' -e '# DNS_TESMAR_START' -e '# DNS Tesmar' -- "$KT_HOSTS"; }
# The hosts file is there and every block of ours in it is closed, so taking
# the blocks out keeps all else.
kt_hosts_whole() {
  [ -f "$KT_HOSTS" ] && awk '
    !open && /# Ka Tesmar Start/ { open = "# Ka Tesmar End"; next }
    !open && /# DNS_TESMAR_START/ { open = "# DNS_TESMAR_END"; next }
    open && index($0, open) { open = "" }
    END { exit open != "" }' "$KT_HOSTS"
}
# The hosts file without our blocks. The activation gave a last line without
# a line feed one: where that is all that differs, the backup (when it is
# complete: $1 = 1) is the file as it was.
kt_hosts_undone() {
  if [ "$1" = 1 ] && [ -n "$(tail -c 1 -- "$KT_BACKUP")" ] &&
    kt_without_blocks "$KT_HOSTS" | cmp -s -- - <(cat -- "$KT_BACKUP"; echo); then
    cat -- "$KT_BACKUP"
  else
    kt_without_blocks "$KT_HOSTS"
  fi
}
# The undo keeps what changed in the hosts file meanwhile. The backup is put
# back only where the file is missing or a block of ours in it has no end.
kt_restore() {
  local left="" complete=0
  if [ -L "$KT_STATE" ]; then echo "$KT_STATE is een link: geweigerd" >&2; return 1; fi
  kt_backup_complete && complete=1
  if [ "$complete" = 0 ] && kt_present "$KT_BACKUP"; then
    echo "Backup onvolledig of niet van root: alleen de Ka Tesmar-blokken verwijderd"
  fi
  if kt_hosts_whole; then
    if ! kt_has_blocks || kt_replace "$KT_HOSTS" 644 kt_hosts_undone "$complete"; then
      rm -f -- "$KT_BACKUP" "$KT_BACKUP_SUM"
    fi
  elif [ "$complete" = 1 ]; then
    if kt_replace "$KT_HOSTS" 644 cat -- "$KT_BACKUP"; then
      echo "Hosts hersteld vanuit backup"
      rm -f -- "$KT_BACKUP" "$KT_BACKUP_SUM"
    fi
  elif kt_present "$KT_HOSTS" && kt_replace "$KT_HOSTS" 644 kt_without_blocks "$KT_HOSTS"; then
    rm -f -- "$KT_BACKUP" "$KT_BACKUP_SUM"
  fi
  # A hosts file that cannot be written keeps the whole block, the guardian
  # and the lock with it: fully blocked, tried again, never half.
  if kt_has_blocks; then
    echo "Niet hersteld: hosts-bestand" >&2
    return 1
  fi
  kt_remove_guardian
  nft delete table inet ka_tesmar >/dev/null 2>&1
  nft list table inet ka_tesmar >/dev/null 2>&1 && left="$left firewall"
  rm -f -- "$KT_NFT" "$KT_NFT.new"
  kt_flush_caches
  if [ -n "$left" ]; then
    echo "Niet hersteld:$left" >&2
    return 1
  fi
  rm -f -- "$KT_LOCK"
  echo 'OK'
}
KT_DONE=0
KT_WAS_ACTIVE=0
kt_rollback() {
  [ "$KT_DONE" = 1 ] && return
  trap - EXIT
  if [ -f "$KT_BEFORE" ] && ! cmp -s -- "$KT_BEFORE" "$KT_HOSTS"; then
    kt_replace "$KT_HOSTS" 644 cat -- "$KT_BEFORE" || echo "Hosts-bestand niet teruggezet" >&2
  fi
  rm -f -- "$KT_NFT.new"
  if [ "$KT_WAS_ACTIVE" = 1 ]; then
    # The lock and the guardian of the block before stay with it.
    if kt_root_file "$KT_NFT"; then
      nft -f "$KT_NFT" || echo "Vorige firewallregels niet teruggezet" >&2
    else
      nft delete table inet ka_tesmar >/dev/null 2>&1
    fi
  else
    nft delete table inet ka_tesmar >/dev/null 2>&1
    kt_remove_guardian
    rm -f -- "$KT_LOCK" "$KT_NFT" "$KT_BACKUP" "$KT_BACKUP_SUM"
  fi
  rm -f -- "$KT_BEFORE"
  exit 1
}
kt_state_dir || exit 1
mkdir -p -m 0700 -- "$KT_RUN" || kt_fail "Kon $KT_RUN niet maken"
if kt_present "$KT_LOCK"; then
  kt_root_file "$KT_LOCK" || kt_fail "$KT_LOCK is geen bestand van root: geweigerd"
  KT_WAS_ACTIVE=1
fi
KT_BEFORE=$(mktemp -- "$KT_RUN/hosts.XXXXXX") || kt_fail 'Kon het hosts-bestand niet bewaren'
cat -- "$KT_HOSTS" > "$KT_BEFORE" || { rm -f -- "$KT_BEFORE"; kt_fail 'Kon het hosts-bestand niet bewaren'; }
trap kt_rollback EXIT
trap 'exit 1' TERM INT HUP
if [ "$KT_WAS_ACTIVE" = 0 ]; then
  kt_write_backup || kt_fail 'Kon de hosts-backup niet schrijven'
fi
kt_replace "$KT_LOCK" 600 echo active || kt_fail 'Kon het lockbestand niet schrijven'
kt_guardian() {
  cat << 'PRELUDEEOF'
#!/bin/bash
set -u
set -o pipefail
umask 022
export LC_ALL=C PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
KT_STATE='/var/lib/ka-tesmar'
KT_HOSTS='/etc/hosts'
KT_BACKUP="$KT_STATE/hosts_backup"
KT_BACKUP_SUM="$KT_STATE/hosts_backup.sum"
KT_LOCK="$KT_STATE/active.lock"
KT_NFT="$KT_STATE/ka_tesmar.nft"
KT_RUN='/run/ka-tesmar'
KT_APP_LOCK='/run/ka-tesmar-app.lock'
KT_GUARDIAN='/usr/local/bin/ka-tesmar-guardian.sh'
KT_UNITS='/etc/systemd/system'
kt_fail() { echo "$*" >&2; exit 1; }
kt_root_file() { [ ! -L "$1" ] && [ -f "$1" ] && [ "$(stat -c %u -- "$1")" = 0 ]; }
kt_present() { [ -e "$1" ] || [ -L "$1" ]; }
kt_state_dir() {
  if [ -L "$KT_STATE" ]; then echo "$KT_STATE is een link: geweigerd" >&2; return 1; fi
  mkdir -p -m 0700 -- "$KT_STATE" || return 1
  if [ ! -d "$KT_STATE" ] || [ "$(stat -c %u -- "$KT_STATE")" != 0 ]; then
    echo "$KT_STATE is geen map van root: geweigerd" >&2; return 1
  fi
  chmod 0700 -- "$KT_STATE"
}
kt_replace() {
  local target=$1 mode=$2 tmp rc
  shift 2
  tmp=$(mktemp -- "$(dirname -- "$target")/.ka-tesmar.XXXXXX") || return 1
  if ! { "$@" > "$tmp" && chmod "$mode" -- "$tmp" && sync -- "$tmp"; }; then
    rm -f -- "$tmp"; return 1
  fi
  if mv -f -T -- "$tmp" "$target" 2>/dev/null; then return 0; fi
  cat -- "$tmp" > "$target"; rc=$?
  rm -f -- "$tmp"
  return $rc
}
kt_without_blocks() {
  sed -e '/# Ka Tesmar Start/,/# Ka Tesmar End/d' -e '/# DNS_TESMAR_START/,/# DNS_TESMAR_END/d' -e '/# DNS Tesmar/d' -- "$1"
}
kt_checksum() { echo "$(stat -c %s -- "$1") $(sha256sum < "$1" | cut -d ' ' -f 1)"; }
kt_write_backup() {
  kt_replace "$KT_BACKUP" 600 kt_without_blocks "$KT_HOSTS" &&
    kt_replace "$KT_BACKUP_SUM" 600 kt_checksum "$KT_BACKUP"
}
kt_backup_complete() {
  kt_root_file "$KT_BACKUP" && kt_root_file "$KT_BACKUP_SUM" &&
    [ "$(kt_checksum "$KT_BACKUP")" = "$(cat -- "$KT_BACKUP_SUM")" ]
}
kt_flush_caches() {
  resolvectl flush-caches 2>/dev/null || true
  nscd -i hosts 2>/dev/null || true
}
kt_remove_guardian() {
  systemctl --no-ask-password disable --now ka-tesmar-guardian.timer >/dev/null 2>&1 || true
  rm -f -- "$KT_UNITS/ka-tesmar-guardian.timer" "$KT_UNITS/ka-tesmar-guardian.service" \
    "$KT_UNITS/timers.target.wants/ka-tesmar-guardian.timer" "$KT_GUARDIAN"
  systemctl --no-ask-password daemon-reload >/dev/null 2>&1 || true
}
kt_has_blocks() { grep -q -e '# Ka Tesmar Start' -e '# DNS_TESMAR_START' -e '# DNS Tesmar' -- "$KT_HOSTS"; }
# The hosts file is there and every block of ours in it is closed, so taking
# the blocks out keeps all else.
kt_hosts_whole() {
  [ -f "$KT_HOSTS" ] && awk '
    !open && /# Ka Tesmar Start/ { open = "# Ka Tesmar End"; next }
    !open && /# DNS_TESMAR_START/ { open = "# DNS_TESMAR_END"; next }
    open && index($0, open) { open = "" }
    END { exit open != "" }' "$KT_HOSTS"
}
# The hosts file without our blocks. The activation gave a last line without
# a line feed one: where that is all that differs, the backup (when it is
# complete: $1 = 1) is the file as it was.
kt_hosts_undone() {
  if [ "$1" = 1 ] && [ -n "$(tail -c 1 -- "$KT_BACKUP")" ] &&
    kt_without_blocks "$KT_HOSTS" | cmp -s -- - <(cat -- "$KT_BACKUP"; echo); then
    cat -- "$KT_BACKUP"
  else
    kt_without_blocks "$KT_HOSTS"
  fi
}
# The undo keeps what changed in the hosts file meanwhile. The backup is put
# back only where the file is missing or a block of ours in it has no end.
kt_restore() {
  local left="" complete=0
  if [ -L "$KT_STATE" ]; then echo "$KT_STATE is een link: geweigerd" >&2; return 1; fi
  kt_backup_complete && complete=1
  if [ "$complete" = 0 ] && kt_present "$KT_BACKUP"; then
    echo "Backup onvolledig of niet van root: alleen de Ka Tesmar-blokken verwijderd"
  fi
  if kt_hosts_whole; then
    if ! kt_has_blocks || kt_replace "$KT_HOSTS" 644 kt_hosts_undone "$complete"; then
      rm -f -- "$KT_BACKUP" "$KT_BACKUP_SUM"
    fi
  elif [ "$complete" = 1 ]; then
    if kt_replace "$KT_HOSTS" 644 cat -- "$KT_BACKUP"; then
      echo "Hosts hersteld vanuit backup"
      rm -f -- "$KT_BACKUP" "$KT_BACKUP_SUM"
    fi
  elif kt_present "$KT_HOSTS" && kt_replace "$KT_HOSTS" 644 kt_without_blocks "$KT_HOSTS"; then
    rm -f -- "$KT_BACKUP" "$KT_BACKUP_SUM"
  fi
  # A hosts file that cannot be written keeps the whole block, the guardian
  # and the lock with it: fully blocked, tried again, never half.
  if kt_has_blocks; then
    echo "Niet hersteld: hosts-bestand" >&2
    return 1
  fi
  kt_remove_guardian
  nft delete table inet ka_tesmar >/dev/null 2>&1
  nft list table inet ka_tesmar >/dev/null 2>&1 && left="$left firewall"
  rm -f -- "$KT_NFT" "$KT_NFT.new"
  kt_flush_caches
  if [ -n "$left" ]; then
    echo "Niet hersteld:$left" >&2
    return 1
  fi
  rm -f -- "$KT_LOCK"
  echo 'OK'
}
PRELUDEEOF
  cat << 'GUARDIANEOF'
kt_app_running() {
  [ ! -L "$KT_APP_LOCK" ] && [ -f "$KT_APP_LOCK" ] && [ "$(stat -c %a -- "$KT_APP_LOCK")" = 600 ] || return 1
  timeout 5 flock -n -E 75 -x "$KT_APP_LOCK" true
  case $? in 75|124) return 0 ;; *) return 1 ;; esac
}
mkdir -p -m 0700 -- "$KT_RUN" && exec 9>>"$KT_RUN/run.lock" && flock -n 9 || exit 0
[ -f "$KT_LOCK" ] || exit 0
kt_app_running && exit 0
kt_restore
exit 0
GUARDIANEOF
}
kt_service() {
  cat << 'SERVICEEOF'
[Unit]
Description=Ka Tesmar guardian: restores the network when the application is gone

[Service]
Type=oneshot
ExecStart=/usr/local/bin/ka-tesmar-guardian.sh
SERVICEEOF
}
kt_timer() {
  cat << 'TIMEREOF'
[Unit]
Description=Ka Tesmar guardian, at start and every 300 s

[Timer]
OnBootSec=0
OnUnitActiveSec=300
AccuracySec=1s

[Install]
WantedBy=timers.target
TIMEREOF
}
{ mkdir -p -- /usr/local/bin "$KT_UNITS" &&
  kt_replace "$KT_GUARDIAN" 755 kt_guardian &&
  kt_replace "$KT_UNITS/ka-tesmar-guardian.service" 644 kt_service &&
  kt_replace "$KT_UNITS/ka-tesmar-guardian.timer" 644 kt_timer; } ||
  kt_fail 'Kon de bewaker niet installeren'
systemctl --no-ask-password daemon-reload >/dev/null 2>&1 || true
systemctl --no-ask-password enable ka-tesmar-guardian.timer >/dev/null 2>&1 || true
systemctl --no-ask-password restart ka-tesmar-guardian.timer >/dev/null 2>&1 || true
kt_hosts_with_block() {
  kt_without_blocks "$KT_BEFORE" | sed -e '$a\' &&
    printf '%b' '# Ka Tesmar Start\n0.0.0.0 chatgpt.com\n::1 chatgpt.com\n0.0.0.0 www.chatgpt.com\n::1 www.chatgpt.com\n0.0.0.0 www.claude.ai\n::1 www.claude.ai\n0.0.0.0 cursor.sh\n::1 cursor.sh\n0.0.0.0 www.cursor.sh\n::1 www.cursor.sh\n0.0.0.0 chatgpt.com\n::1 chatgpt.com\n0.0.0.0 www.chatgpt.com\n::1 www.chatgpt.com\n# Ka Tesmar End\n'
}
kt_replace "$KT_HOSTS" 644 kt_hosts_with_block || kt_fail 'Kon het hosts-bestand niet schrijven'
kt_rules() {
  cat << 'NFTEOF'
table inet ka_tesmar
delete table inet ka_tesmar
table inet ka_tesmar {
  set v4 {
    type ipv4_addr; flags interval; auto-merge;
    elements = {
      104.18.26.0/24,
      104.18.27.0/24,
      104.18.32.0/24,
      104.18.33.0/24,
      140.82.112.0/20,
      160.79.104.0/24,
      160.79.105.0/24,
      198.51.100.0/24,
      20.200.245.0/24,
      20.201.28.0/24,
      203.0.113.7,
      76.76.21.0/24
    }
  }
  set v6 {
    type ipv6_addr; flags interval; auto-merge;
    elements = {
      2001:db8::1,
      2606:4700::/32,
      2606:50c0::/32,
      2607:6bc0::/32,
      2620:1ec::/32,
      2a06:98c1::/32
    }
  }
  set v4_tcp_443 {
    type ipv4_addr; flags interval; auto-merge;
    elements = {
      1.0.0.1,
      1.1.1.1,
      104.16.132.229,
      104.16.133.229,
      104.16.248.249,
      104.16.249.249,
      149.112.112.112,
      17.253.0.0/16,
      208.67.220.220,
      208.67.222.222,
      45.90.28.0,
      45.90.30.0,
      8.8.4.4,
      8.8.8.8,
      9.9.9.9,
      94.140.14.14,
      94.140.15.15
    }
  }
  set v4_udp_443 {
    type ipv4_addr; flags interval; auto-merge;
    elements = {
      1.0.0.1,
      1.1.1.1,
      104.16.248.249,
      104.16.249.249,
      149.112.112.112,
      8.8.4.4,
      8.8.8.8,
      9.9.9.9
    }
  }
  chain blocked {
    ip daddr @v4 drop
    ip6 daddr @v6 drop
    ip daddr @v4_tcp_443 tcp dport 443 drop
    ip daddr @v4_udp_443 udp dport 443 drop
    meta nfproto ipv6 tcp dport 853 drop
    meta nfproto ipv6 udp dport 853 drop
    tcp dport 853 drop
    udp dport 853 drop
  }
  chain output {
    type filter hook output priority filter; policy accept;
    jump blocked
  }
  chain forward {
    type filter hook forward priority filter; policy accept;
    jump blocked
  }
}
NFTEOF
}
kt_replace "$KT_NFT.new" 600 kt_rules || kt_fail 'Kon de firewallregels niet schrijven'
nft -f "$KT_NFT.new" || kt_fail 'nft kon de firewallregels niet laden'
mv -f -T -- "$KT_NFT.new" "$KT_NFT" || kt_fail 'Kon de firewallregels niet bewaren'
kt_flush_caches
KT_DONE=1
rm -f -- "$KT_BEFORE"
echo 'OK'
