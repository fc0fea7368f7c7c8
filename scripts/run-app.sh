#!/usr/bin/env bash
# Installs what is missing, builds the application and runs it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default
cmake --build --preset default --target Ka_Tesmar
exec build/default/src/Ka_Tesmar "$@"
