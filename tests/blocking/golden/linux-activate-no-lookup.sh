#!/bin/bash
set -e
mkdir -p '/var/lib/ka-tesmar'
if [ ! -f '/var/lib/ka-tesmar/hosts_backup' ]; then cp /etc/hosts '/var/lib/ka-tesmar/hosts_backup'; fi
echo 'active' > '/var/lib/ka-tesmar/active.lock'
KT_HOSTS=$(mktemp); sed -e '/# Ka Tesmar Start/,/# Ka Tesmar End/d' -e '/# DNS_TESMAR_START/,/# DNS_TESMAR_END/d' -e '/# DNS Tesmar/d' /etc/hosts > "$KT_HOSTS"; cat "$KT_HOSTS" > /etc/hosts; rm -f "$KT_HOSTS"; printf '%b' '\n# Ka Tesmar Start\n0.0.0.0 chatgpt.com\n::1 chatgpt.com\n0.0.0.0 www.chatgpt.com\n::1 www.chatgpt.com\n0.0.0.0 www.claude.ai\n::1 www.claude.ai\n0.0.0.0 cursor.sh\n::1 cursor.sh\n0.0.0.0 www.cursor.sh\n::1 www.cursor.sh\n0.0.0.0 chatgpt.com\n::1 chatgpt.com\n0.0.0.0 www.chatgpt.com\n::1 www.chatgpt.com\n# Ka Tesmar End' >> /etc/hosts; cat > '/var/lib/ka-tesmar/ka_tesmar.nft' << 'NFTEOF'
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
nft -f '/var/lib/ka-tesmar/ka_tesmar.nft'; mkdir -p /usr/local/bin; cat > /usr/local/bin/ka-tesmar-guardian.sh << 'GUARDIANEOF'
#!/bin/bash
sleep 5
BACKUP_DIR='/var/lib/ka-tesmar'
BACKUP_FILE="$BACKUP_DIR/hosts_backup"
LOCK_FILE="$BACKUP_DIR/active.lock"
if ! pgrep -f 'Ka.Tesmar' > /dev/null 2>&1 && ! pgrep -f 'Ka_Tesmar' > /dev/null 2>&1; then
  if [ -f "$LOCK_FILE" ]; then
    if [ -f "$BACKUP_FILE" ]; then
      cp "$BACKUP_FILE" /etc/hosts && rm -f "$BACKUP_FILE"
    else
      HOSTS_NEW=$(mktemp) && sed -e '/# Ka Tesmar Start/,/# Ka Tesmar End/d' -e '/# DNS_TESMAR_START/,/# DNS_TESMAR_END/d' -e '/# DNS Tesmar/d' /etc/hosts > "$HOSTS_NEW" && cat "$HOSTS_NEW" > /etc/hosts
      rm -f "$HOSTS_NEW"
    fi
    nft delete table inet ka_tesmar 2>/dev/null
    rm -f "$BACKUP_DIR/ka_tesmar.nft" "$LOCK_FILE"
    resolvectl flush-caches 2>/dev/null
    nscd -i hosts 2>/dev/null
  fi
fi
exit 0
GUARDIANEOF
chmod 755 /usr/local/bin/ka-tesmar-guardian.sh; mkdir -p /etc/systemd/system; cat > /etc/systemd/system/ka-tesmar-guardian.service << 'SERVICEEOF'
[Unit]
Description=Ka Tesmar guardian: restores the network when the application is gone

[Service]
Type=oneshot
ExecStart=/usr/local/bin/ka-tesmar-guardian.sh
SERVICEEOF
cat > /etc/systemd/system/ka-tesmar-guardian.timer << 'TIMEREOF'
[Unit]
Description=Ka Tesmar guardian, at start and every 300 s

[Timer]
OnBootSec=0
OnUnitInactiveSec=300
AccuracySec=1s

[Install]
WantedBy=timers.target
TIMEREOF
chmod 644 /etc/systemd/system/ka-tesmar-guardian.service /etc/systemd/system/ka-tesmar-guardian.timer; systemctl --no-ask-password daemon-reload 2>/dev/null || true; systemctl --no-ask-password enable ka-tesmar-guardian.timer 2>/dev/null || true; systemctl --no-ask-password restart ka-tesmar-guardian.timer 2>/dev/null || true; resolvectl flush-caches 2>/dev/null || true; nscd -i hosts 2>/dev/null || true; rm -rf '/home/leerling met spatie/.config/Cursor/Cache' 2>/dev/null; rm -rf '/home/leerling met spatie/.config/Cursor/Code Cache' 2>/dev/null; rm -rf '/home/leerling met spatie/.config/Cursor/Service Worker/CacheStorage' 2>/dev/null; rm -rf '/home/leerling met spatie/.config/Cursor/GPUCache' 2>/dev/null; rm -rf '/home/leerling met spatie/.config/Code/Cache' 2>/dev/null; rm -rf '/home/leerling met spatie/.config/Code/Code Cache' 2>/dev/null; rm -rf '/home/leerling met spatie/.config/Code/Service Worker/CacheStorage' 2>/dev/null; pkill -x firefox 2>/dev/null || true; pkill -x firefox-esr 2>/dev/null || true; pkill -x chrome 2>/dev/null || true; pkill -x chromium 2>/dev/null || true; pkill -x msedge 2>/dev/null || true; pkill -x brave 2>/dev/null || true; rm -rf '/home/leerling met spatie/.cache/mozilla/firefox' 2>/dev/null; rm -rf '/home/leerling met spatie/.cache/google-chrome' 2>/dev/null; rm -rf '/home/leerling met spatie/.cache/chromium' 2>/dev/null; rm -rf '/home/leerling met spatie/.cache/microsoft-edge' 2>/dev/null; rm -rf '/home/leerling met spatie/.cache/BraveSoftware' 2>/dev/null; echo 'OK'