#!/usr/bin/env bash
# Installs what is missing, checks the formatting, builds the plain and the
# sanitizer builds (a warning is an error) and runs every test of both (unit,
# integration, UI, the self-test of the real window, the replay of the fuzz
# corpora), then builds the fuzz targets and runs each for 20 s.
# Ends with a line "N passed, N failed".
set -uo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh || { echo "0 passed, 1 failed"; exit 1; }

export QT_QPA_PLATFORM=offscreen
# A runtime folder of the run's own when the caller has none, gone at the end.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  XDG_RUNTIME_DIR=$(mktemp -d)
  trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
fi
export XDG_RUNTIME_DIR
chmod 700 "$XDG_RUNTIME_DIR"
jobs=$(nproc)

passed=0
failed=0
count() {  # reads ctest's summary: "97% tests passed, 1 tests failed out of 34"
  local log=$1 line total fails
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1)
  if [ -z "$line" ]; then failed=$((failed + 1)); return; fi
  fails=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
  total=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")
  passed=$((passed + total - fails))
  failed=$((failed + fails))
}

# Every C++ file as .clang-format has it.
echo "=== format"
if git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror 2>"${TMPDIR:-/tmp}/kt-format.log"; then
  passed=$((passed + 1))
else
  grep -E '^[^ ].*: (warning|error):' "${TMPDIR:-/tmp}/kt-format.log" | cut -d: -f1 | sort -u | head -20
  echo "format FAILED: run clang-format -i on the files above"
  failed=$((failed + 1))
fi
rm -f "${TMPDIR:-/tmp}/kt-format.log"

for preset in default asan; do
  log=$(mktemp)
  echo "=== build: $preset"
  # A warning fails the build.
  if cmake --preset "$preset" -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null &&
    cmake --build --preset "$preset" -j "$jobs"; then
    echo "=== test: $preset"
    ctest --preset "$preset" -j "$jobs" 2>&1 | tee "$log"
  else
    echo "build $preset FAILED"
    echo "0% tests passed, 1 tests failed out of 1" >"$log"
  fi
  count "$log"
  rm -f "$log"
done

# The fuzz targets (clang, libFuzzer), 20 s each from their committed corpus;
# each counts as one test.
echo "=== fuzz"
targets=$(ls -d fuzz/corpus/*/ | wc -l)
log=$(mktemp)
if cmake --preset fuzz -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null &&
  cmake --build --preset fuzz -j "$jobs"; then
  scripts/run-fuzzers.sh 20 2>&1 | tee "$log"
else
  echo "build fuzz FAILED"
fi
line=$(grep -E '^fuzz targets: [0-9]+ passed, [0-9]+ failed$' "$log" | tail -1)
[ -n "$line" ] || line="fuzz targets: 0 passed, $targets failed"
passed=$((passed + $(sed -E 's/.*: ([0-9]+) passed.*/\1/' <<<"$line")))
failed=$((failed + $(sed -E 's/.* ([0-9]+) failed$/\1/' <<<"$line")))
rm -f "$log"

echo "Screenshots: build/default/screenshots"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
