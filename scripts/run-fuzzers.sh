#!/usr/bin/env bash
# Runs every fuzz target of the fuzz preset (build/fuzz, built before) for
# SECONDS each, starting from its committed corpus (fuzz/corpus/TARGET/).
# New inputs go to a scratch folder, never into the committed corpus; a crash
# or a failed check leaves its input in build/fuzz/artifacts/TARGET/ and
# fails the target. One line per target with libFuzzer's figures, then
# "fuzz targets: N passed, N failed".
# Usage: scripts/run-fuzzers.sh [SECONDS] [TARGET...]
set -uo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || for corpus in fuzz/corpus/*/; do targets+=("$(basename "$corpus")"); done

# The request framing needs whole requests of up to 64 KiB.
options_for() {
  case $1 in
    request_framing) echo -max_len=70000 ;;
    *) echo -max_len=8192 ;;
  esac
}

# Runs one target; its line goes to the file $2.
run_target() {
  local target=$1 result=$2
  local program=build/fuzz/fuzz/fuzz_$target
  local artifacts=build/fuzz/artifacts/$target/
  local scratch log
  scratch=$(mktemp -d)
  log=$(mktemp)
  mkdir -p "$artifacts"
  # An input still running after 60 s is a hang; a shorter limit would
  # count a busy machine's pauses as finds.
  # shellcheck disable=SC2046
  if [ -x "$program" ] && "$program" -max_total_time="$seconds" -timeout=60 -print_final_stats=1 \
    $(options_for "$target") -artifact_prefix="$artifacts" "$scratch" "fuzz/corpus/$target" >"$log" 2>&1; then
    # "#7303	DONE   cov: 1790 ft: 4914 corp: 578/96Kb lim: 407 exec/s: 1217 rss: 215Mb"
    echo "fuzz $target: ok, $(grep -E '^#[0-9]+\s+DONE' "$log" | tail -1 |
      sed -E 's/^#([0-9]+)\s+DONE\s+/\1 execs, /; s/ lim: [0-9]+//')" >"$result"
  else
    local reproducer
    reproducer=$(grep -oE 'Test unit written to [^ ]+' "$log" | tail -1 | sed 's/Test unit written to //')
    {
      tail -n 40 "$log"
      echo "fuzz $target FAILED${reproducer:+; reproducer: $reproducer (replay: $program $reproducer)}"
    } >"$result"
  fi
  rm -rf "$scratch" "$log"
}

# One target per core at a time, each for its full time; the lines in the
# targets' order.
results=$(mktemp -d)
cores=$(nproc)
running=0
for index in "${!targets[@]}"; do
  if [ "$running" -ge "$cores" ]; then
    wait -n
    running=$((running - 1))
  fi
  run_target "${targets[$index]}" "$results/$index" &
  running=$((running + 1))
done
wait

passed=0
failed=0
for index in "${!targets[@]}"; do
  cat "$results/$index"
  if grep -q "^fuzz ${targets[$index]}: ok" "$results/$index"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
  fi
done
rm -rf "$results"
echo "fuzz targets: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
