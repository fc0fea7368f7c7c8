# The class service's package in package-sandbox.sh: installed, a teacher
# added as root, removed (the data stays) and purged (data and account go).

accounts() {  # name: the files and the service's account
  files "$1"
  in_root getent passwd ka-tesmar-service >"$out/$1.account" || true
}

rm -rf "$root/var/lib/ka-tesmar-service" "$root/etc/ka-tesmar-service"
accounts before
in_root dpkg -i /tmp/package.deb >"$out/install.log" 2>&1
accounts installed
db=/var/lib/ka-tesmar-service/service.db
# As root, before the service ever ran: the command takes the identity of the
# data folder's owner first, so the database is the service's.
in_root ka-tesmar-service teacher add anna --database "$db" >"$out/teacher.log" 2>&1
in_root ka-tesmar-service teacher reset anna --database "$db" >>"$out/teacher.log" 2>&1
in_root stat -c '%U %a %n' /var/lib/ka-tesmar-service "$db" >"$out/owners" 2>&1
in_root find /var/lib/ka-tesmar-service -not -user ka-tesmar-service >>"$out/owners" 2>&1
in_root dpkg -r ka-tesmar-service >"$out/remove.log" 2>&1
accounts removed
in_root dpkg -P ka-tesmar-service >"$out/purge.log" 2>&1
accounts purged
