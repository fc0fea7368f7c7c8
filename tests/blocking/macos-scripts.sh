# The macOS scripts: activations and each way back (the undo command after two
# activations, each restore command after one, with and without the backup),
# then the guardian with the real application running, after it was killed,
# and without a lock file.
. /sandbox/lib.sh
golden=$(cat /sandbox/golden.path)
for variant in undo automatic-backup-present automatic-backup-absent manual-backup-present \
  manual-backup-absent signal signal-no-backup admin; do
  reset_system
  make_home
  run_script "activate-$variant" /sandbox/activate.sh
  snapshot "activated-$variant"
  case $variant in *absent | *no-backup) rm -f "$support/hosts_backup" ;; esac
  case $variant in
    undo)
      ls -R "$HOME" >"$out/activated-undo/home.listing"
      run_script activate-again /sandbox/activate.sh
      snapshot activated-again
      run_script restore-undo "$golden/deactivate.sh"
      ;;
    manual-*) run_script "restore-$variant" "$golden/restore-$variant.sh" ;;
    signal-no-backup) run_script "restore-$variant" "$golden/restore-signal.sh" line ;;
    admin) echo "'$(cat /sandbox/admin.path)' restore --profile macos" >/tmp/admin.sh && run_script restore-admin /tmp/admin.sh ;;
    *) run_script "restore-$variant" "$golden/restore-$variant.sh" line ;;
  esac
  snapshot "restore-$variant"
done

reset_system
app=$(cat /sandbox/app.path)
mkdir -p /tmp/xdg && chmod 700 /tmp/xdg
XDG_RUNTIME_DIR=/tmp/xdg QT_QPA_PLATFORM=offscreen "$app" >"$out/app.log" 2>&1 &
app_pid=$!
# The command line shows once the program has been exec'd.
wait_until 60 pgrep -f 'Ka_Tesmar' >/dev/null
pgrep -af 'Ka.Tesmar' >"$out/app.pgrep" || true
# Its start-up (which would undo a blocking it finds) is over once it loads
# the QML of its window; only then does the activation come.
wait_until 60 grep -q '/qml/QtQuick/Controls/' "/proc/$app_pid/maps" 2>/dev/null && echo ready >"$out/app.ready"
run_script activate /sandbox/activate.sh
snapshot before-guardian
bash /usr/local/bin/ka-tesmar-guardian.sh >"$out/guardian-1.out" 2>&1
if kill -0 "$app_pid" 2>/dev/null; then echo alive >"$out/app.alive"; fi
snapshot guardian-app-running
kill -9 "$app_pid"
wait "$app_pid" 2>/dev/null || true
bash /usr/local/bin/ka-tesmar-guardian.sh >"$out/guardian-2.out" 2>&1
snapshot guardian-app-gone
echo '# eigen regel' >>/etc/hosts
bash /usr/local/bin/ka-tesmar-guardian.sh >"$out/guardian-3.out" 2>&1
snapshot guardian-no-lock
