#!/usr/bin/env bash
# Applies each deliberate fault of tools/mutations.txt in turn to a copy of
# the work tree, builds it and runs the tests; prints which tests caught each
# fault and exits non-zero when a fault is caught by none (or does not apply
# or compile).
#
# Usage: tools/mutation-check.sh [FAULT-NAME...]
#   KT_MUTATION_DIR  where the copy and its build live (build/mutation)
#   KT_MUTATION_ALL=1  also run the slow package and browser tests, which are
#                      left out by default
# The tests that caught a fault last time (kept in $KT_MUTATION_DIR/catchers/)
# run first; then the quick tests (under 10 s in the unchanged run); the whole
# suite only when none of them fails.
set -uo pipefail
repo=$(git -C "$(dirname "$0")" rev-parse --show-toplevel)
faults_file="$repo/tools/mutations.txt"
work=${KT_MUTATION_DIR:-$repo/build/mutation}
copy="$work/tree"
build="$copy/build/default"
slow='^(DebianPackage\.|teacher_page_browser)'

export QT_QPA_PLATFORM=offscreen
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  XDG_RUNTIME_DIR=$(mktemp -d)
  trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
fi
export XDG_RUNTIME_DIR
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

# The work tree as it is now (committed or not). Only files whose content
# differs are written, with a fresh time, so that the build redoes exactly
# what changed.
mkdir -p "$copy"
(cd "$repo" && git ls-files -co --exclude-standard -z) | python3 -c '
import os, shutil, sys
source, target = sys.argv[1:]
for name in sys.stdin.buffer.read().decode().split("\0"):
    a, b = os.path.join(source, name), os.path.join(target, name)
    if not name or name.startswith("build/") or not os.path.isfile(a):
        continue
    if os.path.isfile(b) and open(a, "rb").read() == open(b, "rb").read():
        continue
    os.makedirs(os.path.dirname(b), exist_ok=True)
    shutil.copyfile(a, b)
    shutil.copymode(a, b)
' "$repo" "$copy" || exit 2

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
(cd "$copy" && cmake --preset default "${launcher[@]}" >/dev/null) || exit 2

build_copy() { cmake --build "$build" -j "$(nproc)" >"$work/build.log" 2>&1; }
# Runs the tests (all, or those named in the file $1); prints the names of
# the failed ones, one a line.
run_tests() {
  local select=()
  [ "${KT_MUTATION_ALL:-0}" = 1 ] || select=(-E "$slow")
  if [ -n "${1:-}" ]; then
    select=(-R "^($(sed 's/[][\\.*+?^$(){}|]/\\&/g' "$1" | paste -sd '|'))\$")
  fi
  rm -f "$build/Testing/Temporary/LastTestsFailed.log"
  (cd "$build" && ctest -j "$(nproc)" --timeout 300 "${select[@]}" >"$work/test.log" 2>&1)
  [ -f "$build/Testing/Temporary/LastTestsFailed.log" ] &&
    cut -d: -f2- "$build/Testing/Temporary/LastTestsFailed.log"
}
# mutate FILE NAME: applies the fault NAME to FILE in the copy.
mutate() {
  python3 - "$faults_file" "$2" "$copy/$1" <<'PY'
import sys
faults, name, target = sys.argv[1:]
blocks = open(faults).read().split("\n=== ")
block = next(b for b in blocks if b.split("\n", 1)[0].strip() == name)
find = block.split("--- find\n", 1)[1].split("+++ replace\n", 1)[0]
replace = block.split("+++ replace\n", 1)[1]
# Partial lines may be replaced; a replaced whole line leaves its line break.
find, replace = find.rstrip("\n"), replace.rstrip("\n")
text = open(target).read()
if text.count(find) != 1:
    sys.exit(f"the text to replace occurs {text.count(find)} times in {target}")
open(target, "w").write(text.replace(find, replace))
PY
}

echo "=== building the unchanged copy in $work"
build_copy || { tail -20 "$work/build.log"; echo "the unchanged copy does not build"; exit 2; }
baseline=$(run_tests)
if [ -n "$baseline" ]; then
  echo "the unchanged copy fails these tests, fix them first:"; echo "$baseline"; exit 2
fi

# The tests that took under 10 s in the unchanged run.
awk 'NF == 3 && $3 < 10 { print $1 }' "$build/Testing/Temporary/CTestCostData.txt" |
  grep -vE "$slow" >"$work/quick-tests" || true
catchers="$work/catchers"
mkdir -p "$catchers"
names=("$@")
[ ${#names[@]} -gt 0 ] || mapfile -t names < <(sed -n 's/^=== //p' "$faults_file")
missed=0
for name in "${names[@]}"; do
  file=$(awk -v n="$name" '$0 == "=== " n { on = 1; next } on && /^file: / { print $2; exit }' "$faults_file")
  what=$(awk -v n="$name" '$0 == "=== " n { on = 1; next } on && /^what: / { sub(/^what: /, ""); print; exit }' "$faults_file")
  if [ -z "$file" ] || [ ! -f "$copy/$file" ]; then
    echo "NOT APPLIED  $name: no such fault or file"; missed=$((missed + 1)); continue
  fi
  cp -p "$copy/$file" "$work/original"
  if ! apply_error=$(mutate "$file" "$name" 2>&1); then
    echo "NOT APPLIED  $name: $apply_error"; missed=$((missed + 1))
  elif ! build_copy; then
    echo "NO BUILD     $name ($file): $(grep -m1 'error:' "$work/build.log")"; missed=$((missed + 1))
  else
    caught=
    [ -s "$catchers/$name" ] && caught=$(run_tests "$catchers/$name")
    [ -n "$caught" ] || caught=$(run_tests "$work/quick-tests")
    [ -n "$caught" ] || caught=$(run_tests)
    if [ -n "$caught" ]; then
      echo "$caught" >"$catchers/$name"
      echo "caught       $name ($what) by: $(echo "$caught" | paste -sd ' ')"
    else
      echo "NOT CAUGHT   $name ($what)"; missed=$((missed + 1))
    fi
  fi
  # A fresh time, so that the next build compiles the original again.
  cp "$work/original" "$copy/$file" && touch "$copy/$file"
done
echo "${#names[@]} faults, $((${#names[@]} - missed)) caught, $missed not caught"
[ "$missed" -eq 0 ]
