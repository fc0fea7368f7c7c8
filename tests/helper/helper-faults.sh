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
run_step() {  # step command...: runs it with $input as its input, then a snapshot
  mkdir -p "$out/$1"
  "${@:2}" <"${input:-/dev/null}" >"$out/$1/stdout" 2>"$out/$1/stderr"
  echo $? >"$out/$1/status"
  snapshot "$1"
}
step() {  # step verb [request]: the helper, with a request as input for activate
  local input=/dev/null
  [ "$2" != activate ] || input=${3:-/tmp/request}
  run_step "$1" "$helper" "$2"
}

# Refused before anything is written: out/refused-NAME holds what it said
# and its status.
refuse() {  # name input command...
  printf '%s' "$2" | "${@:3}" 2>"$out/refused-$1" >/dev/null
  echo "status $?" >>"$out/refused-$1"
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

# The root file system (the hosts file's and the scripts' folders) full while
# blocked: a restore, then an activation; with room again, a restore.
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

# The helper's own folder too small for the copy of a large hosts file: the
# activation stops before it changes anything, the hosts file whole.
step blocked-3 activate
cp /etc/hosts /tmp/hosts-blocked
seq -f '# regel %g van een groot hosts-bestand' 1 200 >>/etc/hosts
mount -t tmpfs -o size=4k,mode=700 tmpfs /run/ka-tesmar
step full-run activate
umount /run/ka-tesmar
cp /tmp/hosts-blocked /etc/hosts
step done restore

# An administrator's changes during the lesson, a last line without its line
# feed, a block of ours that lost its end.
step lesson activate
echo '192.0.2.50 printer.school.example' >>/etc/hosts
sed -i '/broadcasthost/d' /etc/hosts
step lesson-undone deactivate
printf '127.0.0.1 localhost\n::1 localhost' >/etc/hosts
step no-line-feed activate
step no-line-feed-undone deactivate
step open-block activate
sed -i -e '1i 10.0.0.9 intranet.school.example' -e '/# Ka Tesmar End/d' /etc/hosts
step open-block-undone deactivate
cp /sandbox/hosts.original /etc/hosts

# The class service inside a network that is always blocked, and a name
# server that answers over TLS (port 853): both stay reachable while blocked.
ip addr add 76.76.21.8/32 dev lo && ip addr add 76.76.21.9/32 dev lo &&
  ip -6 addr add 2606:4700::8/128 dev lo && ip -6 addr add 2606:4700::9/128 dev lo
cp /etc/resolv.conf /tmp/resolv.conf && echo 'nameserver 198.51.100.3' >/etc/resolv.conf
echo '{"names":["chatgpt.com"],"protected_addresses":["76.76.21.9","2606:4700::9"]}' >/tmp/request-service
targets=(76.76.21.8:443 76.76.21.9:443 [2606:4700::8]:443 [2606:4700::9]:443 198.51.100.2:853 198.51.100.3:853)
step service activate /tmp/request-service
targets=()
cp /tmp/resolv.conf /etc/resolv.conf
step service-undone deactivate

# Two activations and a restore started together, the first held half-way
# until the other two wait (each helper and its worker there) or, run side by
# side, have come as far.
helper_gone() { ! pgrep -f -- "$helper" >/dev/null; }
all_in() { [ "$(grep -c '^systemctl' "$out/calls.log")" -ge 3 ] || [ "$(pgrep -c -f -- "$helper")" -ge 6 ]; }
mkdir -p "$out/together"
together() {  # name verb
  "$helper" "$2" </tmp/request >/dev/null 2>&1
  echo $? >"$out/together/$1"
}
touch /tmp/hold-systemctl
together first activate &
first=$!
wait_until 10 grep -q '^systemctl' "$out/calls.log"
together second activate &
second=$!
together third restore &
third=$!
wait_until 10 all_in
rm -f /tmp/hold-systemctl
wait "$first" "$second" "$third"
snapshot together
step free restore

# The caller's account is the one the application runs as (pkexec's
# PKEXEC_UID): 1000 here. The rest runs in the background: wait for it.
export PKEXEC_UID=1000
held() { ! flock -n -x /run/ka-tesmar-app.lock true; }
guardian() { run_step "$1" bash /usr/local/bin/ka-tesmar-guardian.sh; }  # step

# Killed half-way with all it started (after the lock and the guardian,
# before the hosts block and the table), then the guardian.
touch /tmp/hold-systemctl
"$helper" activate </tmp/request >/dev/null 2>&1 &
wait_until 10 test -f /usr/local/bin/ka-tesmar-guardian.sh -a -f "$state_dir/active.lock"
worker=$(pgrep -P "$!")
kill -9 -- "-$worker" "$!"
rm -f /tmp/hold-systemctl
wait_until 60 helper_gone
snapshot killed
guardian guardian

# What the caller can do to its helper: kill it, send the terminal's quit
# (Ctrl-\) to its process group, run it under a (soft: raising a hard one takes
# a capability some containers lack) file-size limit; and what older runs left.
mkdir -p /run/ka-tesmar/ka_tesmar.old && echo 'exit 0' >/run/ka-tesmar/ka_tesmar.old/activate.sh
echo stale >/etc/.ka-tesmar.Ab12Cd
caller() {  # step how: the activation, with the system held in systemctl while it is done to it
  mkdir -p "$out/$1"
  touch /tmp/hold-systemctl
  case $2 in
    kill) "$helper" activate </tmp/request >"$out/$1/stdout" 2>&1 & ;;
    quit) setsid sh -c '"$1" activate </tmp/request >"$2" 2>&1' - "$helper" "$out/$1/stdout" & ;;
    fsize) (ulimit -S -f 2 && exec "$helper" activate </tmp/request >"$out/$1/stdout" 2>&1) & ;;
  esac
  wait_until 10 grep -q '^systemctl' "$out/calls.log"
  case $2 in
    kill) kill -KILL "$!" ;;
    quit) kill -QUIT -- "-$!" ;;
  esac
  rm -f /tmp/hold-systemctl
  wait_until 60 helper_gone
  ls -A /run/ka-tesmar >"$out/$1/run"
  find /etc /etc/systemd/system /var/lib/ka-tesmar /usr/local/bin /run -maxdepth 1 -name '.ka-tesmar*' >"$out/$1/temporary"
  snapshot "$1"
}
caller caller-kill kill
caller caller-quit quit
caller caller-fsize fsize

# Another account holds the application's lock file as an earlier version
# left it (root's, readable by all), with a shared and an exclusive lock.
step free-again deactivate
rm -f /run/ka-tesmar-app.lock && : >/run/ka-tesmar-app.lock && chmod 644 /run/ka-tesmar-app.lock
as_other() { setpriv --reuid=65534 --regid=65534 --clear-groups "$@"; }
hold_lock() {  # how: holds the application's lock (flock -s or -x) until killed
  exec 8</run/ka-tesmar-app.lock && flock "$1" 8 && exec /usr/bin/sleep 600
}
as_other bash -c "$(declare -f hold_lock); hold_lock -x" &
other=$!
wait_until 10 held
input=/tmp/request run_step foreign timeout 20 "$helper" activate
stat -c '%u %a' /run/ka-tesmar-app.lock >"$out/foreign/lock"
as_other sh -c 'exec 8</run/ka-tesmar-app.lock' 2>/dev/null
echo $? >"$out/foreign/other-opens"
setpriv --reuid=1000 --regid=1000 --clear-groups bash -c "$(declare -f hold_lock); hold_lock -s" &
application=$!
wait_until 10 held
guardian guardian-app-running
kill "$application" && wait "$application"
guardian guardian-app-gone
timeout 20 "$helper" deactivate >/dev/null 2>&1
echo $? >"$out/foreign/deactivate"
kill "$other"
exit 0
