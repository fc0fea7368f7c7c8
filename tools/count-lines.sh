#!/usr/bin/env bash
# Physical lines of the tests against the lines of the code they test: the
# code is src/, tools/, scripts/, packaging/, cmake/ and the CMake files
# outside tests/; golden files and test data are counted apart.
# Usage: tools/count-lines.sh   (from anywhere in the work tree)
set -euo pipefail
cd "$(git rev-parse --show-toplevel)"

lines() { xargs -r cat -- | wc -l; }

code=$({
  git ls-files src service tools scripts packaging cmake
  git ls-files '*CMakeLists.txt' | grep -v '^tests/'
} | sort -u | grep -v '\.png$' | lines)
fixtures=$(git ls-files tests | grep -E '/(golden|data)/' | lines)
tests=$(git ls-files tests | grep -vE '/(golden|data)/' | grep -v '\.png$' | lines)

echo "code:     $code lines"
echo "tests:    $tests lines (golden files and test data apart: $fixtures)"
awk -v t="$tests" -v c="$code" 'BEGIN { printf "ratio:    %.2f test lines per line of code\n", t / c }'
