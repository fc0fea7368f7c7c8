#!/bin/bash
set -e
mkdir -p '/Library/Application Support/KaTesmar'
if [ ! -f '/Library/Application Support/KaTesmar/hosts_backup' ]; then cp /etc/hosts '/Library/Application Support/KaTesmar/hosts_backup'; fi
echo 'active' > '/Library/Application Support/KaTesmar/active.lock'
sed -i '' '/# Ka Tesmar Start/,/# Ka Tesmar End/d' /etc/hosts; sed -i '' '/# DNS_TESMAR_START/,/# DNS_TESMAR_END/d' /etc/hosts; sed -i '' '/# DNS Tesmar/d' /etc/hosts; printf '%b' '\n# Ka Tesmar Start\n0.0.0.0 chatgpt.com\n::1 chatgpt.com\n0.0.0.0 www.chatgpt.com\n::1 www.chatgpt.com\n0.0.0.0 www.claude.ai\n::1 www.claude.ai\n0.0.0.0 cursor.sh\n::1 cursor.sh\n0.0.0.0 www.cursor.sh\n::1 www.cursor.sh\n0.0.0.0 chatgpt.com\n::1 chatgpt.com\n0.0.0.0 www.chatgpt.com\n::1 www.chatgpt.com\n# Ka Tesmar End' >> /etc/hosts; mkdir -p /etc/pf.anchors; rm -f /etc/pf.anchors/ka.tesmar; echo 'block drop quick from any to 104.18.26.0/24' >> /etc/pf.anchors/ka.tesmar; echo 'block drop quick from any to 104.18.27.0/24' >> /etc/pf.anchors/ka.tesmar; echo 'block drop quick from any to 104.18.32.0/24' >> /etc/pf.anchors/ka.tesmar; echo 'block drop quick from any to 104.18.33.0/24' >> /etc/pf.anchors/ka.tesmar; echo 'block drop quick from any to 140.82.112.0/20' >> /etc/pf.anchors/ka.tesmar; echo 'block drop quick from any to 160.79.104.0/24' >> /etc/pf.anchors/ka.tesmar; echo 'block drop quick from any to 160.79.105.0/24' >> /etc/pf.anchors/ka.tesmar; echo 'block drop quick from any to 198.51.100.0/24' >> /etc/pf.anchors/ka.tesmar; echo 'block drop quick from any to 20.200.245.0/24' >> /etc/pf.anchors/ka.tesmar; echo 'block drop quick from any to 20.201.28.0/24' >> /etc/pf.anchors/ka.tesmar; echo 'block drop quick from any to 203.0.113.7' >> /etc/pf.anchors/ka.tesmar; echo 'block drop quick from any to 76.76.21.0/24' >> /etc/pf.anchors/ka.tesmar; echo 'block drop quick inet6 from any to 2001:db8::1' >> /etc/pf.anchors/ka.tesmar; echo 'block drop quick inet6 from any to 2606:4700::/32' >> /etc/pf.anchors/ka.tesmar; echo 'block drop quick inet6 from any to 2606:50c0::/32' >> /etc/pf.anchors/ka.tesmar; echo 'block drop quick inet6 from any to 2607:6bc0::/32' >> /etc/pf.anchors/ka.tesmar; echo 'block drop quick inet6 from any to 2620:1ec::/32' >> /etc/pf.anchors/ka.tesmar; echo 'block drop quick inet6 from any to 2a06:98c1::/32' >> /etc/pf.anchors/ka.tesmar; echo 'block drop quick inet6 proto tcp from any to any port 853' >> /etc/pf.anchors/ka.tesmar; echo 'block drop quick inet6 proto udp from any to any port 853' >> /etc/pf.anchors/ka.tesmar; echo 'block drop quick proto tcp from any to 1.0.0.1 port 443' >> /etc/pf.anchors/ka.tesmar; echo 'block drop quick proto tcp from any to 1.1.1.1 port 443' >> /etc/pf.anchors/ka.tesmar; echo 'block drop quick proto tcp from any to 104.16.132.229 port 443' >> /etc/pf.anchors/ka.tesmar; echo 'block drop quick proto tcp from any to 104.16.133.229 port 443' >> /etc/pf.anchors/ka.tesmar; echo 'block drop quick proto tcp from any to 104.16.248.249 port 443' >> /etc/pf.anchors/ka.tesmar; echo 'block drop quick proto tcp from any to 104.16.249.249 port 443' >> /etc/pf.anchors/ka.tesmar; echo 'block drop quick proto tcp from any to 149.112.112.112 port 443' >> /etc/pf.anchors/ka.tesmar; echo 'block drop quick proto tcp from any to 17.253.0.0/16 port 443' >> /etc/pf.anchors/ka.tesmar; echo 'block drop quick proto tcp from any to 208.67.220.220 port 443' >> /etc/pf.anchors/ka.tesmar; echo 'block drop quick proto tcp from any to 208.67.222.222 port 443' >> /etc/pf.anchors/ka.tesmar; echo 'block drop quick proto tcp from any to 45.90.28.0 port 443' >> /etc/pf.anchors/ka.tesmar; echo 'block drop quick proto tcp from any to 45.90.30.0 port 443' >> /etc/pf.anchors/ka.tesmar; echo 'block drop quick proto tcp from any to 8.8.4.4 port 443' >> /etc/pf.anchors/ka.tesmar; echo 'block drop quick proto tcp from any to 8.8.8.8 port 443' >> /etc/pf.anchors/ka.tesmar; echo 'block drop quick proto tcp from any to 9.9.9.9 port 443' >> /etc/pf.anchors/ka.tesmar; echo 'block drop quick proto tcp from any to 94.140.14.14 port 443' >> /etc/pf.anchors/ka.tesmar; echo 'block drop quick proto tcp from any to 94.140.15.15 port 443' >> /etc/pf.anchors/ka.tesmar; echo 'block drop quick proto tcp from any to any port 853' >> /etc/pf.anchors/ka.tesmar; echo 'block drop quick proto udp from any to 1.0.0.1 port 443' >> /etc/pf.anchors/ka.tesmar; echo 'block drop quick proto udp from any to 1.1.1.1 port 443' >> /etc/pf.anchors/ka.tesmar; echo 'block drop quick proto udp from any to 104.16.248.249 port 443' >> /etc/pf.anchors/ka.tesmar; echo 'block drop quick proto udp from any to 104.16.249.249 port 443' >> /etc/pf.anchors/ka.tesmar; echo 'block drop quick proto udp from any to 149.112.112.112 port 443' >> /etc/pf.anchors/ka.tesmar; echo 'block drop quick proto udp from any to 8.8.4.4 port 443' >> /etc/pf.anchors/ka.tesmar; echo 'block drop quick proto udp from any to 8.8.8.8 port 443' >> /etc/pf.anchors/ka.tesmar; echo 'block drop quick proto udp from any to 9.9.9.9 port 443' >> /etc/pf.anchors/ka.tesmar; echo 'block drop quick proto udp from any to any port 853' >> /etc/pf.anchors/ka.tesmar; grep -q 'ka.tesmar' /etc/pf.conf 2>/dev/null || { echo '' >> /etc/pf.conf; echo '# Ka Tesmar' >> /etc/pf.conf; echo 'anchor "ka.tesmar"' >> /etc/pf.conf; echo 'load anchor "ka.tesmar" from "/etc/pf.anchors/ka.tesmar"' >> /etc/pf.conf; }; cat /etc/pf.conf | pfctl -Ef - 2>/dev/null; mkdir -p /usr/local/bin; cat > /usr/local/bin/ka-tesmar-guardian.sh << 'GUARDIANEOF'
#!/bin/bash
sleep 5
BACKUP_DIR='/Library/Application Support/KaTesmar'
BACKUP_FILE="$BACKUP_DIR/hosts_backup"
LOCK_FILE="$BACKUP_DIR/active.lock"
if ! pgrep -f 'Ka.Tesmar' > /dev/null 2>&1 && ! pgrep -f 'Ka_Tesmar' > /dev/null 2>&1; then
  if [ -f "$LOCK_FILE" ]; then
    if [ -f "$BACKUP_FILE" ]; then
      cp "$BACKUP_FILE" /etc/hosts
      rm -f "$BACKUP_FILE"
    else
      sed -i '' '/# Ka Tesmar Start/,/# Ka Tesmar End/d' /etc/hosts
      sed -i '' '/# DNS_TESMAR_START/,/# DNS_TESMAR_END/d' /etc/hosts
      sed -i '' '/# DNS Tesmar/d' /etc/hosts
    fi
    sed -i '' '/# Ka Tesmar/d' /etc/pf.conf 2>/dev/null
    sed -i '' '/ka.tesmar/d' /etc/pf.conf 2>/dev/null
    cat /etc/pf.conf | pfctl -Ef - 2>/dev/null
    rm -f /etc/pf.anchors/ka.tesmar "$LOCK_FILE"
    dscacheutil -flushcache
    killall -HUP mDNSResponder 2>/dev/null
  fi
fi
GUARDIANEOF
chmod +x /usr/local/bin/ka-tesmar-guardian.sh; cat > /Library/LaunchDaemons/com.katesmar.guardian.plist << 'PLISTEOF'
<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
  <key>Label</key>
  <string>com.katesmar.guardian</string>
  <key>ProgramArguments</key>
  <array>
    <string>/usr/local/bin/ka-tesmar-guardian.sh</string>
  </array>
  <key>RunAtLoad</key>
  <true/>
  <key>StartInterval</key>
  <integer>300</integer>
</dict>
</plist>
PLISTEOF
chmod 644 /Library/LaunchDaemons/com.katesmar.guardian.plist 2>/dev/null; chown root:wheel /Library/LaunchDaemons/com.katesmar.guardian.plist 2>/dev/null; launchctl unload /Library/LaunchDaemons/com.katesmar.firewall.plist 2>/dev/null || true; rm -f /Library/LaunchDaemons/com.katesmar.firewall.plist; rm -f /usr/local/bin/ka-tesmar-start.sh; launchctl unload /Library/LaunchDaemons/com.katesmar.guardian.plist 2>/dev/null || true; launchctl load /Library/LaunchDaemons/com.katesmar.guardian.plist 2>/dev/null; dscacheutil -flushcache; killall -HUP mDNSResponder 2>/dev/null; rm -rf '/Users/leerling met spatie/Library/Application Support/Cursor/Cache' 2>/dev/null; rm -rf '/Users/leerling met spatie/Library/Application Support/Cursor/Code Cache' 2>/dev/null; rm -rf '/Users/leerling met spatie/Library/Application Support/Cursor/Service Worker/CacheStorage' 2>/dev/null; rm -rf '/Users/leerling met spatie/Library/Application Support/Cursor/GPUCache' 2>/dev/null; rm -rf '/Users/leerling met spatie/Library/Application Support/Code/Cache' 2>/dev/null; rm -rf '/Users/leerling met spatie/Library/Application Support/Code/Code Cache' 2>/dev/null; rm -rf '/Users/leerling met spatie/Library/Application Support/Code/Service Worker/CacheStorage' 2>/dev/null; killall Safari 2>/dev/null || true; killall 'Google Chrome' 2>/dev/null || true; killall 'Firefox' 2>/dev/null || true; killall 'Microsoft Edge' 2>/dev/null || true; killall 'Brave Browser' 2>/dev/null || true; killall 'Arc' 2>/dev/null || true; rm -rf ~/Library/Caches/com.apple.Safari 2>/dev/null; rm -rf ~/Library/Caches/Google/Chrome 2>/dev/null; rm -rf ~/Library/Caches/com.microsoft.edgemac 2>/dev/null; rm -rf ~/Library/Caches/Firefox 2>/dev/null; rm -rf ~/Library/Caches/BraveSoftware 2>/dev/null; echo 'OK'