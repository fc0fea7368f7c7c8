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
kt_restore
