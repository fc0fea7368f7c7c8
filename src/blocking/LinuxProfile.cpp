#include "blocking/LinuxProfile.h"

#include "blocking/NftTable.h"

namespace kt {
namespace {

// Shared by every script: settings, and the functions that write files
// safely. A file is written completely beside its target, flushed and then
// renamed over it, so a full disk or a kill never leaves it empty or half
// written; only where a rename is refused (a bind-mounted hosts file) is it
// rewritten in place. State files are used only when they are root's own
// regular files, never through a link.
constexpr const char* prelude = R"SH(#!/bin/bash
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
)SH";

// The guardian that the systemd timer runs as root at start and every 300 s:
// while the lock file says blocking is on and nobody holds the application's
// lock, the application is gone, and the guardian takes the blocking out.
// It never works beside a run of the root helper (the next timer comes back
// instead), and it waits on nothing without a deadline. The helper makes the
// application's lock file for the user who activated, mode 0600: only that
// user's processes and root's can hold it, and a file in another shape is
// nobody's.
constexpr const char* guardianBody = R"SH(kt_app_running() {
  [ ! -L "$KT_APP_LOCK" ] && [ -f "$KT_APP_LOCK" ] && [ "$(stat -c %a -- "$KT_APP_LOCK")" = 600 ] || return 1
  timeout 5 flock -n -E 75 -x "$KT_APP_LOCK" true
  case $? in 75|124) return 0 ;; *) return 1 ;; esac
}
mkdir -p -m 0700 -- "$KT_RUN" && exec 9>>"$KT_RUN/run.lock" && flock -n 9 || exit 0
[ -f "$KT_LOCK" ] || exit 0
kt_app_running && exit 0
kt_restore
exit 0
)SH";

constexpr const char* serviceLines[] = {
    "[Unit]",
    "Description=Ka Tesmar guardian: restores the network when the application is gone",
    "",
    "[Service]",
    "Type=oneshot",
    "ExecStart=/usr/local/bin/ka-tesmar-guardian.sh",
};

// At start (the boot point is long past when the timer is started, so it
// fires at once) and every 300 s from each start of the guardian.
constexpr const char* timerLines[] = {
    "[Unit]",
    "Description=Ka Tesmar guardian, at start and every 300 s",
    "",
    "[Timer]",
    "OnBootSec=0",
    "OnUnitActiveSec=300",
    "AccuracySec=1s",
    "",
    "[Install]",
    "WantedBy=timers.target",
};

// Rolls a failed activation back to the state before it: the hosts file as
// it was, and either the rules, lock and guardian of the activation before
// (the block stays as it was) or nothing at all (no table, guardian, lock or
// backup).
constexpr const char* rollback = R"SH(KT_DONE=0
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
)SH";

template <std::size_t N>
std::string hereDocument(const char* delimiter, const char* const (&lines)[N]) {
    std::string s = "<< '" + std::string(delimiter) + "'\n";
    for (const char* line : lines) s += std::string(line) + "\n";
    return s + delimiter + "\n";
}

}  // namespace

LinuxProfile::LinuxProfile() {
    paths_.hostsFile = "/etc/hosts";
    paths_.hostsStartMarker = "# Ka Tesmar Start";
    paths_.backupDir = "/var/lib/ka-tesmar";
    paths_.backupPath = paths_.backupDir + "/hosts_backup";
    paths_.lockFile = paths_.backupDir + "/active.lock";
    // The input of nft -f; the rules themselves live in the kernel's table.
    paths_.rulesFile = paths_.backupDir + "/ka_tesmar.nft";
    paths_.guardianScript = "/usr/local/bin/ka-tesmar-guardian.sh";
    paths_.guardianDefinition = "/etc/systemd/system/ka-tesmar-guardian.timer";
}

std::vector<std::pair<std::string, std::string>> LinuxProfile::temporaryFilePlaces() {
    // Beside each file the scripts replace (kt_replace), and beside the
    // application's lock.
    return {{"/etc", ".ka-tesmar."},
            {"/var/lib/ka-tesmar", ".ka-tesmar."},
            {"/usr/local/bin", ".ka-tesmar."},
            {"/etc/systemd/system", ".ka-tesmar."},
            {"/run", ".ka-tesmar-app.lock."}};
}

std::string LinuxProfile::activationScript(const ActivationPlan& plan, const std::string&) const {
    std::string s = prelude;
    s += rollback;
    s += "kt_state_dir || exit 1\n";
    s += "mkdir -p -m 0700 -- \"$KT_RUN\" || kt_fail \"Kon $KT_RUN niet maken\"\n";
    s += "if kt_present \"$KT_LOCK\"; then\n";
    s +=
        "  kt_root_file \"$KT_LOCK\" || kt_fail \"$KT_LOCK is geen bestand van root: geweigerd\"\n";
    s += "  KT_WAS_ACTIVE=1\n";
    s += "fi\n";
    // Only a complete copy is ever put back.
    s += "KT_BEFORE=$(mktemp -- \"$KT_RUN/hosts.XXXXXX\") || kt_fail 'Kon het hosts-bestand niet "
         "bewaren'\n";
    s += "cat -- \"$KT_HOSTS\" > \"$KT_BEFORE\" || { rm -f -- \"$KT_BEFORE\"; kt_fail 'Kon het "
         "hosts-bestand niet bewaren'; }\n";
    s += "trap kt_rollback EXIT\ntrap 'exit 1' TERM INT HUP\n";

    // The backup is the hosts file without any block of ours, taken afresh
    // at each first activation.
    s += "if [ \"$KT_WAS_ACTIVE\" = 0 ]; then\n";
    s += "  kt_write_backup || kt_fail 'Kon de hosts-backup niet schrijven'\n";
    s += "fi\n";
    s +=
        "kt_replace \"$KT_LOCK\" 600 echo active || kt_fail 'Kon het lockbestand niet schrijven'\n";

    // The guardian and its systemd units. Without a running systemd (a
    // container) the timer cannot start; the files are in place all the same.
    s += "kt_guardian() {\n";
    s += "  cat << 'PRELUDEEOF'\n" + std::string(prelude) + "PRELUDEEOF\n";
    s += "  cat << 'GUARDIANEOF'\n" + std::string(guardianBody) + "GUARDIANEOF\n";
    s += "}\n";
    s += "kt_service() {\n  cat " + hereDocument("SERVICEEOF", serviceLines) + "}\n";
    s += "kt_timer() {\n  cat " + hereDocument("TIMEREOF", timerLines) + "}\n";
    s += "{ mkdir -p -- /usr/local/bin \"$KT_UNITS\" &&\n";
    s += "  kt_replace \"$KT_GUARDIAN\" 755 kt_guardian &&\n";
    s += "  kt_replace \"$KT_UNITS/ka-tesmar-guardian.service\" 644 kt_service &&\n";
    s += "  kt_replace \"$KT_UNITS/ka-tesmar-guardian.timer\" 644 kt_timer; } ||\n";
    s += "  kt_fail 'Kon de bewaker niet installeren'\n";
    s += "systemctl --no-ask-password daemon-reload >/dev/null 2>&1 || true\n";
    s += "systemctl --no-ask-password enable ka-tesmar-guardian.timer >/dev/null 2>&1 || true\n";
    s += "systemctl --no-ask-password restart ka-tesmar-guardian.timer >/dev/null 2>&1 || true\n";

    // The hosts block: the old blocks out, the new one in.
    // No blank line before it: taking the block out again gives back the
    // file as it was, byte for byte. A last line without its line feed gets one.
    s += "kt_hosts_with_block() {\n";
    s += "  kt_without_blocks \"$KT_BEFORE\" | sed -e '$a\\' &&\n";
    s += "    printf '%b' '# Ka Tesmar Start\\n" +
         singleQuoteEscaped(printfHostsLines(plan.hostsEntries)) + "# Ka Tesmar End\\n'\n";
    s += "}\n";
    s += "kt_replace \"$KT_HOSTS\" 644 kt_hosts_with_block || kt_fail 'Kon het hosts-bestand niet "
         "schrijven'\n";

    // The table is replaced in one nft transaction; the rules file of the
    // activation before stays until the new one is in force.
    s += "kt_rules() {\n  cat << 'NFTEOF'\n" +
         nftTableFile(plan.firewallRules, plan.protectedAddresses) + "NFTEOF\n}\n";
    s += "kt_replace \"$KT_NFT.new\" 600 kt_rules || kt_fail 'Kon de firewallregels niet "
         "schrijven'\n";
    s += "nft -f \"$KT_NFT.new\" || kt_fail 'nft kon de firewallregels niet laden'\n";
    s += "mv -f -T -- \"$KT_NFT.new\" \"$KT_NFT\" || kt_fail 'Kon de firewallregels niet "
         "bewaren'\n";
    s += "kt_flush_caches\n";
    s += "KT_DONE=1\n";
    s += "rm -f -- \"$KT_BEFORE\"\n";
    s += "echo 'OK'\n";
    return s;
}

// Deactivation and every restore do the same: the hosts file back (from a
// complete backup, otherwise without our blocks), the guardian, the table
// and the lock out. It fails only when a block is really left.
std::string LinuxProfile::restoreScript() const {
    return std::string(prelude) + "kt_restore\n";
}

std::string LinuxProfile::undoCommand() const {
    return restoreScript();
}

std::string LinuxProfile::automaticRestore(bool) const {
    return restoreScript();
}

std::string LinuxProfile::manualRestore(bool) const {
    return restoreScript();
}

std::string LinuxProfile::signalRestore() const {
    return restoreScript();
}

}  // namespace kt
