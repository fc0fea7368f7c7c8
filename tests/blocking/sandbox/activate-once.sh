# One activation, then what it left behind.
. /sandbox/lib.sh
make_home
run_script activate /sandbox/activate.sh
snapshot after-activate
ls -A / /tmp "$HOME" >"$out/after-activate/roots.listing" 2>&1
