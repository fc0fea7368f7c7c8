#include "blocking/LinuxProfile.h"

#include "blocking/NftRules.h"

namespace kt {
namespace {

constexpr const char* folder = "/var/lib/ka-tesmar";
constexpr const char* guardianPath = "/usr/local/bin/ka-tesmar-guardian.sh";
constexpr const char* unitFolder = "/etc/systemd/system";

// The guardian script that the systemd timer runs as root at start and every
// 300 s: when the application is gone but the lock file says blocking is on,
// it takes the blocking out again. It never removes itself.
constexpr const char* guardianLines[] = {
    R"(#!/bin/bash)",
    R"(sleep 5)",
    R"(BACKUP_DIR='/var/lib/ka-tesmar')",
    R"(BACKUP_FILE="$BACKUP_DIR/hosts_backup")",
    R"(LOCK_FILE="$BACKUP_DIR/active.lock")",
    R"(if ! pgrep -f 'Ka.Tesmar' > /dev/null 2>&1 && ! pgrep -f 'Ka_Tesmar' > /dev/null 2>&1; then)",
    R"(  if [ -f "$LOCK_FILE" ]; then)",
    R"(    if [ -f "$BACKUP_FILE" ]; then)",
    R"(      cp "$BACKUP_FILE" /etc/hosts && rm -f "$BACKUP_FILE")",
    R"(    else)",
    R"(      HOSTS_NEW=$(mktemp) && sed -e '/# Ka Tesmar Start/,/# Ka Tesmar End/d' -e '/# DNS_TESMAR_START/,/# DNS_TESMAR_END/d' -e '/# DNS Tesmar/d' /etc/hosts > "$HOSTS_NEW" && cat "$HOSTS_NEW" > /etc/hosts)",
    R"(      rm -f "$HOSTS_NEW")",
    R"(    fi)",
    R"(    nft delete table inet ka_tesmar 2>/dev/null)",
    R"(    rm -f "$BACKUP_DIR/ka_tesmar.nft" "$LOCK_FILE")",
    R"(    resolvectl flush-caches 2>/dev/null)",
    R"(    nscd -i hosts 2>/dev/null)",
    R"(  fi)",
    R"(fi)",
    R"(exit 0)",
};

constexpr const char* serviceLines[] = {
    "[Unit]",
    "Description=Ka Tesmar guardian: restores the network when the application is gone",
    "",
    "[Service]",
    "Type=oneshot",
    "ExecStart=/usr/local/bin/ka-tesmar-guardian.sh",
};

// At start (the boot point is long past when the timer is started, so it
// fires at once) and 300 s after each run.
constexpr const char* timerLines[] = {
    "[Unit]",
    "Description=Ka Tesmar guardian, at start and every 300 s",
    "",
    "[Timer]",
    "OnBootSec=0",
    "OnUnitInactiveSec=300",
    "AccuracySec=1s",
    "",
    "[Install]",
    "WantedBy=timers.target",
};

// Caches of two code editors under the user's home folder.
constexpr const char* editorCacheSuffixes[] = {
    "/.config/Cursor/Cache",
    "/.config/Cursor/Code Cache",
    "/.config/Cursor/Service Worker/CacheStorage",
    "/.config/Cursor/GPUCache",
    "/.config/Code/Cache",
    "/.config/Code/Code Cache",
    "/.config/Code/Service Worker/CacheStorage",
};

// Process names of the common browsers. Closing one that is not running
// fails; under "set -e" that must not end the script, hence "|| true".
constexpr const char* browserProcesses[] = {
    "firefox", "firefox-esr", "chrome", "chromium", "msedge", "brave",
};

constexpr const char* browserCacheSuffixes[] = {
    "/.cache/mozilla/firefox", "/.cache/google-chrome", "/.cache/chromium",
    "/.cache/microsoft-edge",  "/.cache/BraveSoftware",
};

// systemd-resolved and nscd where the host has them; nothing is said when
// neither is there.
constexpr const char* flushNameCaches =
    "resolvectl flush-caches 2>/dev/null || true; nscd -i hosts 2>/dev/null || true; ";

constexpr const char* hostsBlockExpressions =
    "sed -e '/# Ka Tesmar Start/,/# Ka Tesmar End/d' "
    "-e '/# DNS_TESMAR_START/,/# DNS_TESMAR_END/d' -e '/# DNS Tesmar/d' /etc/hosts";

// The hosts file is rewritten in place (through a copy, never with sed -i),
// so a hosts file that is a bind mount or a symbolic link keeps working.
// Each step runs only when the one before succeeded; the filtered copy is
// removed either way.
std::string hostsBlocksRemoved(bool legacyLines) {
    std::string sed = legacyLines ? hostsBlockExpressions
                                  : "sed -e '/# Ka Tesmar Start/,/# Ka Tesmar End/d' "
                                    "-e '/# DNS_TESMAR_START/,/# DNS_TESMAR_END/d' /etc/hosts";
    return "KT_HOSTS=$(mktemp) && " + sed +
           " > \"$KT_HOSTS\" && cat \"$KT_HOSTS\" > /etc/hosts; rm -f \"$KT_HOSTS\" 2>/dev/null; ";
}

std::string quoted(const std::string& path) {
    return "'" + singleQuoteEscaped(path) + "'";
}

template <std::size_t N>
std::string hereDocument(const std::string& target, const char* delimiter,
                         const char* const (&lines)[N]) {
    std::string s = "cat > " + target + " << '" + delimiter + "'\n";
    for (const char* line : lines) s += std::string(line) + "\n";
    return s + delimiter + "\n";
}

}  // namespace

LinuxProfile::LinuxProfile() {
    paths_.hostsFile = "/etc/hosts";
    paths_.hostsStartMarker = "# Ka Tesmar Start";
    paths_.backupDir = folder;
    paths_.backupPath = paths_.backupDir + "/hosts_backup";
    paths_.lockFile = paths_.backupDir + "/active.lock";
    // The input of nft -f; the rules themselves live in the kernel's table.
    paths_.anchorFile = paths_.backupDir + "/ka_tesmar.nft";
    paths_.guardianScript = guardianPath;
    paths_.guardianDefinition = std::string(unitFolder) + "/ka-tesmar-guardian.timer";
    guardianService_ = std::string(unitFolder) + "/ka-tesmar-guardian.service";
    timerLink_ = std::string(unitFolder) + "/timers.target.wants/ka-tesmar-guardian.timer";
}

std::string LinuxProfile::activationScript(const std::string& hostsEntries,
                                           const std::string& rulesText,
                                           const std::string& homeFolder) const {
    const NftRuleFile rules = nftRuleFile(rulesText);
    if (!rules.untranslatable.empty()) {
        // Blocking with part of the rules would show counters that are not
        // in force; the script stops before it changes anything.
        return "#!/bin/bash\necho " +
               quoted("Firewallregel niet te vertalen: " + rules.untranslatable.front()) +
               " >&2\nexit 1";
    }

    const std::string backup = quoted(paths_.backupPath);
    const std::string nftFile = quoted(paths_.anchorFile);
    const std::string home = singleQuoteEscaped(homeFolder);
    std::string s;
    // Header and bookkeeping: the backup is taken once, before any blocking.
    s += "#!/bin/bash\nset -e\n";
    s += "mkdir -p " + quoted(paths_.backupDir) + "\n";
    s += "if [ ! -f " + backup + " ]; then cp /etc/hosts " + backup + "; fi\n";
    s += "echo 'active' > " + quoted(paths_.lockFile) + "\n";

    // Hosts block: the old blocks out, the new one in. Under "set -e" every
    // step of the rewrite must succeed before the block is appended.
    s += "KT_HOSTS=$(mktemp); " + std::string(hostsBlockExpressions) +
         " > \"$KT_HOSTS\"; cat \"$KT_HOSTS\" > /etc/hosts; rm -f \"$KT_HOSTS\"; ";
    s += "printf '%b' '\\n# Ka Tesmar Start\\n" + singleQuoteEscaped(hostsEntries) +
         "# Ka Tesmar End' >> /etc/hosts; ";

    // Firewall: the table is replaced in one nft transaction.
    s += "cat > " + nftFile + " << 'NFTEOF'\n" + rules.text + "NFTEOF\n";
    s += "nft -f " + nftFile + "; ";

    // Guardian script and its systemd service and timer. Without a running
    // systemd (a container) the timer cannot start; the blocking still holds.
    s += "mkdir -p /usr/local/bin; ";
    s += hereDocument(guardianPath, "GUARDIANEOF", guardianLines);
    s += "chmod 755 " + std::string(guardianPath) + "; ";
    s += "mkdir -p " + std::string(unitFolder) + "; ";
    s += hereDocument(guardianService_, "SERVICEEOF", serviceLines);
    s += hereDocument(paths_.guardianDefinition, "TIMEREOF", timerLines);
    s += "chmod 644 " + guardianService_ + " " + paths_.guardianDefinition + "; ";
    s += "systemctl --no-ask-password daemon-reload 2>/dev/null || true; ";
    s += "systemctl --no-ask-password enable ka-tesmar-guardian.timer 2>/dev/null || true; ";
    s += "systemctl --no-ask-password restart ka-tesmar-guardian.timer 2>/dev/null || true; ";
    s += flushNameCaches;

    // Editor caches, then the browsers closed and their caches deleted.
    for (const char* suffix : editorCacheSuffixes)
        s += "rm -rf '" + home + suffix + "' 2>/dev/null; ";
    for (const char* process : browserProcesses)
        s += "pkill -x " + std::string(process) + " 2>/dev/null || true; ";
    for (const char* suffix : browserCacheSuffixes)
        s += "rm -rf '" + home + suffix + "' 2>/dev/null; ";

    s += "echo 'OK'";
    return s;
}

// Stops and removes the guardian's timer and service; removing the timer's
// link as well works where systemctl cannot reach systemd.
std::string LinuxProfile::guardianRemoval() const {
    std::string s;
    s += "systemctl --no-ask-password disable --now ka-tesmar-guardian.timer 2>/dev/null; ";
    s += "rm -f " + paths_.guardianDefinition + " " + guardianService_ + " " + timerLink_ + "; ";
    s += "systemctl --no-ask-password daemon-reload 2>/dev/null; ";
    return s;
}

std::string LinuxProfile::firewallRemoval() const {
    return "nft delete table " + std::string(nftTableName) + " 2>/dev/null; rm -f " +
           quoted(paths_.anchorFile) + "; ";
}

std::string LinuxProfile::systemCleanup() const {
    return guardianRemoval() + "rm -f " + std::string(guardianPath) + "; " + firewallRemoval() +
           flushNameCaches + "rm -f " + quoted(paths_.lockFile) + "; echo 'OK'";
}

std::string LinuxProfile::undoCommand() const {
    const std::string backup = quoted(paths_.backupPath);
    std::string s;
    // The backup is only deleted once it is back in place.
    s += "if [ -f " + backup + " ]; then cp " + backup + " /etc/hosts && rm -f " + backup + "; ";
    s += "else " + hostsBlocksRemoved(true) + "fi; ";
    return s + systemCleanup();
}

std::string LinuxProfile::automaticRestore(bool backupPresent) const {
    const std::string backup = quoted(paths_.backupPath);
    std::string s;
    if (backupPresent)
        s += "cp " + backup + " /etc/hosts 2>/dev/null && rm -f " + backup + "; ";
    else
        s += hostsBlocksRemoved(true);
    return s + systemCleanup();
}

// Run from the termination-signal handler: the shell tests for the backup,
// and the folder is the literal one rather than a property of the state.
std::string LinuxProfile::signalRestore() const {
    const std::string dir = folder;
    const std::string backup = quoted(dir + "/hosts_backup");
    const std::string lock = quoted(dir + "/active.lock");
    std::string s;
    s += "if [ -f " + backup + " ]; then cp " + backup + " /etc/hosts && rm -f " + backup + "; ";
    s += "else " + hostsBlocksRemoved(false) + "fi; ";
    s += guardianRemoval();
    s += firewallRemoval();
    s += "rm -f " + std::string(guardianPath) + "; ";
    s += flushNameCaches;
    s += "rm -f " + lock;
    return s;
}

}  // namespace kt
