# Two activations, then the undo command.
. /sandbox/lib.sh
make_home
run_script activate-1 /sandbox/activate.sh
snapshot after-activate-1
ls -R "$HOME" >"$out/after-activate-1/home.listing"
run_script activate-2 /sandbox/activate.sh
snapshot after-activate-2
run_script undo /sandbox/deactivate.sh
snapshot after-undo
