# The root helper for real, in a Linux sandbox: what it refuses, and what it
# leaves behind when things go wrong. Each step records its status, output
# and the state of the system in out/STEP/ (snapshot, lib.sh).
. /sandbox/lib.sh
helper=$(cat /sandbox/helper.path)
state_dir=/var/lib/ka-tesmar
request='{"names":["chatgpt.com"],"addresses":["203.0.113.7","127.0.0.1","10.0.0.0/8"],"looked_up":["198.51.100.9","127.0.0.53","::ffff:127.0.0.53","1.2.3.4/0"]}'
# /run on a file system of its own, as on a real system.
mount -t tmpfs -o mode=755 tmpfs /run

echo "$request" >/tmp/request
step() {  # step verb: runs the helper (the request as input for activate), then a snapshot
  local status=0 input=/dev/null
  mkdir -p "$out/$1"
  [ "$2" != activate ] || input=/tmp/request
  "$helper" "$2" <$input >"$out/$1/stdout" 2>"$out/$1/stderr" || status=$?
  echo $status >"$out/$1/status"
  snapshot "$1"
}

# Refused before anything is written: out/refused-NAME holds what it said
# and its status.
refuse() {  # name input command...
  local status=0
  printf '%s' "$2" | "${@:3}" 2>"$out/refused-$1" >/dev/null || status=$?
  echo "status $status" >>"$out/refused-$1"
}
many=$(printf '"a.example",%.0s' $(seq 1 2001))
refuse usage '' "$helper"
refuse path '' "$helper" activate /tmp/ka_tesmar_activate.sh
refuse verb '' "$helper" 'bash -c id'
refuse not-json 'not json' "$helper" activate
refuse member '{"script":["rm -rf /"]}' "$helper" activate
refuse not-list '{"names":"chatgpt.com"}' "$helper" activate
refuse too-many "{\"names\":[${many%,}]}" "$helper" activate
refuse too-big "$(head -c 1100000 /dev/zero | tr '\0' ' ')" "$helper" activate
refuse not-root '' setpriv --reuid=65534 --regid=65534 --clear-groups "$helper" restore
snapshot refused

# A careless umask does not reach what root writes.
(umask 000; step umask activate)
step umask-undone deactivate

# The guardian cannot be installed: nothing of the block stays.
mount -o remount,bind,ro /usr/local/bin
step no-guardian activate
mount -o remount,bind,rw /usr/local/bin

# Blocked, then the backup replaced by a link: only our blocks come out.
step blocked activate
echo '0.0.0.0 everything.example' >/tmp/other-hosts
rm -f "$state_dir/hosts_backup"
ln -s /tmp/other-hosts "$state_dir/hosts_backup"
step link-backup restore

# A lock file that is a link: refused before anything changes.
mkdir -p "$state_dir"
ln -s /tmp/other-hosts "$state_dir/active.lock"
step link-lock activate
rm -f "$state_dir/active.lock"

# The state folder full: the activation fails and leaves nothing.
mount -t tmpfs -o size=16k,mode=700 tmpfs "$state_dir"
dd if=/dev/zero of="$state_dir/fill" bs=1k count=64 2>/dev/null
step full-state activate
umount "$state_dir"

# The root file system (the hosts file's and the scripts' folders) full,
# while blocked: the restore fails, says so, and the hosts file stays whole;
# an activation fails and changes nothing. With room again, all comes out.
step blocked-2 activate
used=$(df --output=used -k / | tail -1)
mount -o remount,size=$((used + 256))k /
dd if=/dev/zero of=/tmp/fill bs=1k count=100000 2>/dev/null
step full-restore restore
dd if=/dev/zero of=/tmp/fill-more bs=1k count=100000 2>/dev/null
step full-activate activate
rm -f /tmp/fill /tmp/fill-more
mount -o remount,size=1g /
step room-again restore

# The helper's own folder full: it runs nothing and says so.
step blocked-3 activate
mount -t tmpfs -o size=4k,mode=700 tmpfs /run/ka-tesmar
dd if=/dev/zero of=/run/ka-tesmar/fill bs=1k count=64 2>/dev/null
step full-run restore
umount /run/ka-tesmar
step done restore

# Killed half-way (after the lock and the guardian, before the hosts block
# and the table are in place), with everything it started: the guardian
# finds nobody holding the application's lock and takes it all out.
mkdir -p "$out/killed"
touch /tmp/hold-systemctl
setsid sh -c 'echo "$1" | "$2" activate' - "$request" "$helper" >/dev/null 2>&1 &
group=$!
wait_until 10 test -f /usr/local/bin/ka-tesmar-guardian.sh -a -f "$state_dir/active.lock"
kill -9 -- "-$group"
rm -f /tmp/hold-systemctl
snapshot killed
mkdir -p "$out/guardian"
bash /usr/local/bin/ka-tesmar-guardian.sh >"$out/guardian/stdout" 2>&1
echo $? >"$out/guardian/status"
snapshot guardian
exit 0
