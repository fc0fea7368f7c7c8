# Activations and each way back: the undo command after two activations, and
# each restore command after one, with and without the backup.
. /sandbox/lib.sh
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
      run_script restore-undo /sandbox/deactivate.sh
      ;;
    manual-*) run_script "restore-$variant" "/sandbox/restore-$variant.sh" ;;
    signal-no-backup) run_script "restore-$variant" /sandbox/restore-signal.sh line ;;
    admin)
      status=0
      "$(cat /sandbox/admin.path)" restore --profile macos >"$out/restore-admin.stdout" 2>"$out/restore-admin.stderr" || status=$?
      echo $status >"$out/restore-admin.status"
      ;;
    *) run_script "restore-$variant" "/sandbox/restore-$variant.sh" line ;;
  esac
  snapshot "restore-$variant"
done
