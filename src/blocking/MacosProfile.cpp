#include "blocking/MacosProfile.h"

namespace kt {
namespace {

// The guardian script that launchd runs as root at load and every 300 s:
// when the application is gone but the lock file says blocking is on, it
// takes the blocking out again.
constexpr const char* guardianLines[] = {
    R"(#!/bin/bash)",
    R"(sleep 5)",
    R"(BACKUP_DIR='/Library/Application Support/KaTesmar')",
    R"(BACKUP_FILE="$BACKUP_DIR/hosts_backup")",
    R"(LOCK_FILE="$BACKUP_DIR/active.lock")",
    R"(if ! pgrep -f 'Ka.Tesmar' > /dev/null 2>&1 && ! pgrep -f 'Ka_Tesmar' > /dev/null 2>&1; then)",
    R"(  if [ -f "$LOCK_FILE" ]; then)",
    R"(    if [ -f "$BACKUP_FILE" ]; then)",
    R"(      cp "$BACKUP_FILE" /etc/hosts)",
    R"(      rm -f "$BACKUP_FILE")",
    R"(    else)",
    R"(      sed -i '' '/# Ka Tesmar Start/,/# Ka Tesmar End/d' /etc/hosts)",
    R"(      sed -i '' '/# DNS_TESMAR_START/,/# DNS_TESMAR_END/d' /etc/hosts)",
    R"(      sed -i '' '/# DNS Tesmar/d' /etc/hosts)",
    R"(    fi)",
    R"(    sed -i '' '/# Ka Tesmar/d' /etc/pf.conf 2>/dev/null)",
    R"(    sed -i '' '/ka.tesmar/d' /etc/pf.conf 2>/dev/null)",
    R"(    cat /etc/pf.conf | pfctl -Ef - 2>/dev/null)",
    R"(    rm -f /etc/pf.anchors/ka.tesmar "$LOCK_FILE")",
    R"(    dscacheutil -flushcache)",
    R"(    killall -HUP mDNSResponder 2>/dev/null)",
    R"(  fi)",
    R"(fi)",
};

// The launchd definition of the guardian.
constexpr const char* propertyListLines[] = {
    R"(<?xml version="1.0" encoding="UTF-8"?>)",
    R"(<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">)",
    R"(<plist version="1.0">)",
    R"(<dict>)",
    R"(  <key>Label</key>)",
    R"(  <string>com.katesmar.guardian</string>)",
    R"(  <key>ProgramArguments</key>)",
    R"(  <array>)",
    R"(    <string>/usr/local/bin/ka-tesmar-guardian.sh</string>)",
    R"(  </array>)",
    R"(  <key>RunAtLoad</key>)",
    R"(  <true/>)",
    R"(  <key>StartInterval</key>)",
    R"(  <integer>300</integer>)",
    R"(</dict>)",
    R"(</plist>)",
};

// Caches of two code editors under the user's home folder.
constexpr const char* editorCacheSuffixes[] = {
    "/Library/Application Support/Cursor/Cache' 2>/dev/null; ",
    "/Library/Application Support/Cursor/Code Cache' 2>/dev/null; ",
    "/Library/Application Support/Cursor/Service Worker/CacheStorage' 2>/dev/null; ",
    "/Library/Application Support/Cursor/GPUCache' 2>/dev/null; ",
    "/Library/Application Support/Code/Cache' 2>/dev/null; ",
    "/Library/Application Support/Code/Code Cache' 2>/dev/null; ",
    "/Library/Application Support/Code/Service Worker/CacheStorage' 2>/dev/null; ",
};

// Closing a browser that is not running fails; under "set -e" that must not
// end the script, hence "|| true".
constexpr const char* browserFragments[] = {
    "killall Safari 2>/dev/null || true; ",
    "killall 'Google Chrome' 2>/dev/null || true; ",
    "killall 'Firefox' 2>/dev/null || true; ",
    "killall 'Microsoft Edge' 2>/dev/null || true; ",
    "killall 'Brave Browser' 2>/dev/null || true; ",
    "killall 'Arc' 2>/dev/null || true; ",
    "rm -rf ~/Library/Caches/com.apple.Safari 2>/dev/null; ",
    "rm -rf ~/Library/Caches/Google/Chrome 2>/dev/null; ",
    "rm -rf ~/Library/Caches/com.microsoft.edgemac 2>/dev/null; ",
    "rm -rf ~/Library/Caches/Firefox 2>/dev/null; ",
    "rm -rf ~/Library/Caches/BraveSoftware 2>/dev/null; ",
};

constexpr const char* removeHostsBlocks =
    "sed -i '' '/# Ka Tesmar Start/,/# Ka Tesmar End/d' /etc/hosts; "
    "sed -i '' '/# DNS_TESMAR_START/,/# DNS_TESMAR_END/d' /etc/hosts; "
    "sed -i '' '/# DNS Tesmar/d' /etc/hosts; ";

constexpr const char* flushNameCaches =
    "dscacheutil -flushcache; killall -HUP mDNSResponder 2>/dev/null; ";

std::string quoted(const std::string& path) {
    return "'" + singleQuoteEscaped(path) + "'";
}

}  // namespace

MacosProfile::MacosProfile() {
    paths_.hostsFile = "/etc/hosts";
    paths_.hostsStartMarker = "# Ka Tesmar Start";
    paths_.backupDir = "/Library/Application Support/KaTesmar";
    paths_.backupPath = paths_.backupDir + "/hosts_backup";
    paths_.lockFile = paths_.backupDir + "/active.lock";
    paths_.rulesFile = "/etc/pf.anchors/ka.tesmar";
    paths_.firewallConfig = "/etc/pf.conf";
    paths_.guardianScript = "/usr/local/bin/ka-tesmar-guardian.sh";
    paths_.guardianDefinition = "/Library/LaunchDaemons/com.katesmar.guardian.plist";
}

std::string MacosProfile::activationScript(const ActivationPlan& plan,
                                           const std::string& homeFolder) const {
    const std::string& backup = paths_.backupPath;
    std::string s;
    // Header and bookkeeping: the backup is taken once, before any blocking.
    s += "#!/bin/bash\nset -e\n";
    s += "mkdir -p " + quoted(paths_.backupDir) + "\n";
    s += "if [ ! -f " + quoted(backup) + " ]; then cp /etc/hosts " + quoted(backup) + "; fi\n";
    s += "echo 'active' > " + quoted(paths_.lockFile) + "\n";

    // Hosts block: the old blocks out, the new one in. The entries are one
    // single-quoted printf '%b' argument whose backslash-n become line breaks.
    s += removeHostsBlocks;
    s += "printf '%b' '\\n# Ka Tesmar Start\\n" +
         singleQuoteEscaped(printfHostsLines(plan.hostsEntries)) +
         "# Ka Tesmar End' >> /etc/hosts; ";

    // Firewall anchor, one rule per line, and the hook in pf.conf (once).
    s += "mkdir -p /etc/pf.anchors; ";
    s += "rm -f /etc/pf.anchors/ka.tesmar; ";
    for (const FirewallRule& rule : plan.firewallRules)
        s += "echo '" + singleQuoteEscaped(packetFilterRule(rule)) +
             "' >> /etc/pf.anchors/ka.tesmar; ";
    s += "grep -q 'ka.tesmar' /etc/pf.conf 2>/dev/null || { echo '' >> /etc/pf.conf; "
         "echo '# Ka Tesmar' >> /etc/pf.conf; echo 'anchor \"ka.tesmar\"' >> /etc/pf.conf; "
         "echo 'load anchor \"ka.tesmar\" from \"/etc/pf.anchors/ka.tesmar\"' >> /etc/pf.conf; }; ";
    s += "cat /etc/pf.conf | pfctl -Ef - 2>/dev/null; ";

    // Guardian script and its launch daemon.
    s += "mkdir -p /usr/local/bin; ";
    s += "cat > /usr/local/bin/ka-tesmar-guardian.sh << 'GUARDIANEOF'\n";
    for (const char* line : guardianLines) s += std::string(line) + "\n";
    s += "GUARDIANEOF\n";
    s += "chmod +x /usr/local/bin/ka-tesmar-guardian.sh; ";
    s += "cat > /Library/LaunchDaemons/com.katesmar.guardian.plist << 'PLISTEOF'\n";
    for (const char* line : propertyListLines) s += std::string(line) + "\n";
    s += "PLISTEOF\n";

    // Daemon installation; the daemon of the earlier generation goes. Unloading
    // a daemon that is not loaded fails, which must not end the script.
    s += "chmod 644 /Library/LaunchDaemons/com.katesmar.guardian.plist 2>/dev/null; ";
    s += "chown root:wheel /Library/LaunchDaemons/com.katesmar.guardian.plist 2>/dev/null; ";
    s +=
        "launchctl unload /Library/LaunchDaemons/com.katesmar.firewall.plist 2>/dev/null || true; ";
    s += "rm -f /Library/LaunchDaemons/com.katesmar.firewall.plist; ";
    s += "rm -f /usr/local/bin/ka-tesmar-start.sh; ";
    s +=
        "launchctl unload /Library/LaunchDaemons/com.katesmar.guardian.plist 2>/dev/null || true; ";
    s += "launchctl load /Library/LaunchDaemons/com.katesmar.guardian.plist 2>/dev/null; ";
    s += flushNameCaches;

    // Editor and browser caches.
    for (const char* suffix : editorCacheSuffixes)
        s += "rm -rf '" + singleQuoteEscaped(homeFolder) + suffix;
    for (const char* fragment : browserFragments) s += fragment;

    s += "echo 'OK'";
    return s;
}

std::string MacosProfile::undoCommand() const {
    const std::string backup = quoted(paths_.backupPath);
    std::string s;
    s += "if [ -f " + backup + " ]; then cp " + backup + " /etc/hosts; rm -f " + backup + "; ";
    s += "else sed -i '' '/# Ka Tesmar Start/,/# Ka Tesmar End/d' /etc/hosts; ";
    s += "sed -i '' '/# DNS_TESMAR_START/,/# DNS_TESMAR_END/d' /etc/hosts; ";
    s += "sed -i '' '/# DNS Tesmar/d' /etc/hosts; fi; ";
    s += "launchctl unload /Library/LaunchDaemons/com.katesmar.firewall.plist 2>/dev/null; ";
    s += "rm -f /Library/LaunchDaemons/com.katesmar.firewall.plist; ";
    s += "rm -f /usr/local/bin/ka-tesmar-start.sh; ";
    s += "launchctl unload /Library/LaunchDaemons/com.katesmar.guardian.plist 2>/dev/null; ";
    s += "rm -f /Library/LaunchDaemons/com.katesmar.guardian.plist; ";
    s += "rm -f /usr/local/bin/ka-tesmar-guardian.sh; ";
    s += "sed -i '' '/# Ka Tesmar/d' /etc/pf.conf; ";
    s += "sed -i '' '/ka.tesmar/d' /etc/pf.conf; ";
    s += "cat /etc/pf.conf | pfctl -Ef - 2>/dev/null; ";
    s += "rm -f /etc/pf.anchors/ka.tesmar; ";
    s += flushNameCaches;
    s += "rm -f " + quoted(paths_.lockFile) + "; ";
    s += "rm -f /tmp/ka_tesmar_rules.conf; ";
    s += "echo 'OK'";
    return s;
}

std::string MacosProfile::automaticRestore(bool backupPresent) const {
    const std::string backup = quoted(paths_.backupPath);
    std::string s;
    if (backupPresent)
        s += "cp " + backup + " /etc/hosts 2>/dev/null; rm -f " + backup + "; ";
    else
        s += removeHostsBlocks;
    s += "launchctl unload /Library/LaunchDaemons/com.katesmar.firewall.plist 2>/dev/null; ";
    s += "rm -f /Library/LaunchDaemons/com.katesmar.firewall.plist; ";
    s += "rm -f /usr/local/bin/ka-tesmar-start.sh; ";
    s += "launchctl unload /Library/LaunchDaemons/com.katesmar.guardian.plist 2>/dev/null; ";
    s += "rm -f /Library/LaunchDaemons/com.katesmar.guardian.plist; ";
    s += "rm -f /usr/local/bin/ka-tesmar-guardian.sh; ";
    s += "sed -i '' '/# Ka Tesmar/d' /etc/pf.conf 2>/dev/null; ";
    s += "sed -i '' '/ka.tesmar/d' /etc/pf.conf 2>/dev/null; ";
    s += "rm -f /etc/pf.anchors/ka.tesmar; ";
    s += "cat /etc/pf.conf | pfctl -Ef - 2>/dev/null; ";
    s += flushNameCaches;
    s += "rm -f " + quoted(paths_.lockFile) + "; ";
    s += "rm -f /tmp/ka_tesmar_rules.conf; ";
    s += "echo 'OK'";
    return s;
}

// Run from the termination-signal handler: the shell tests for the backup,
// and the folder is the literal one rather than a property of the state.
std::string MacosProfile::signalRestore() const {
    const std::string folder = "/Library/Application Support/KaTesmar";
    const std::string backup = quoted(folder + "/hosts_backup");
    const std::string lock = quoted(folder + "/active.lock");
    std::string s;
    s += "if [ -f " + backup + " ]; then cp " + backup + " /etc/hosts; rm -f " + backup + "; ";
    s += "else sed -i '' '/# Ka Tesmar Start/,/# Ka Tesmar End/d' /etc/hosts; ";
    s += "sed -i '' '/# DNS_TESMAR_START/,/# DNS_TESMAR_END/d' /etc/hosts; fi; ";
    s += "launchctl unload /Library/LaunchDaemons/com.katesmar.firewall.plist 2>/dev/null; ";
    s += "rm -f /Library/LaunchDaemons/com.katesmar.firewall.plist; ";
    s += "launchctl unload /Library/LaunchDaemons/com.katesmar.guardian.plist 2>/dev/null; ";
    s += "rm -f /Library/LaunchDaemons/com.katesmar.guardian.plist; ";
    s += "sed -i '' '/# Ka Tesmar/d' /etc/pf.conf 2>/dev/null; ";
    s += "sed -i '' '/ka.tesmar/d' /etc/pf.conf 2>/dev/null; ";
    s += "rm -f /etc/pf.anchors/ka.tesmar; ";
    s += "rm -f /usr/local/bin/ka-tesmar-start.sh /usr/local/bin/ka-tesmar-guardian.sh; ";
    s += "cat /etc/pf.conf | pfctl -Ef - 2>/dev/null; ";
    s += flushNameCaches;
    s += "rm -f " + lock + " /tmp/ka_tesmar_rules.conf";
    return s;
}

}  // namespace kt
