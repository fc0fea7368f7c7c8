# The application's package in package-sandbox.sh: installed, blocking
# through its root helper, removed while blocking, and purged.

state() {  # name: the hosts file's bytes, the rules and what blocking left
  cp "$root/etc/hosts" "$out/$1.hosts"
  nft list ruleset >"$out/$1.ruleset" 2>&1 || true
  in_root find /var/lib/ka-tesmar /etc/systemd/system /usr/local/bin >"$out/$1.listing" 2>/dev/null || true
}

rm -rf "$root/var/lib/ka-tesmar" "$root/etc/ka-tesmar" "$root/usr/libexec/ka-tesmar" \
  "$root"/etc/systemd/system/ka-tesmar-guardian.* "$root"/etc/systemd/system/*/ka-tesmar-guardian.* \
  "$root/usr/local/bin/ka-tesmar-guardian.sh"
files before
state before
in_root dpkg -i /tmp/package.deb >"$out/install.log" 2>&1
files installed
in_root ka-tesmar-admin status >"$out/installed.status" 2>&1

# Blocked as the application blocks: the root helper with names and
# addresses as its request.
echo '{"names":["chatgpt.com"],"addresses":["192.0.2.10","2001:db8::10"]}' >"$root/tmp/request.json"
in_root sh -c '/usr/libexec/ka-tesmar/ka-tesmar-helper activate </tmp/request.json' \
  >"$out/activate.out" 2>&1
state blocked

in_root dpkg -r ka-tesmar >"$out/remove.log" 2>&1
state removed
files removed
in_root dpkg -P ka-tesmar >"$out/purge.log" 2>&1
files purged
