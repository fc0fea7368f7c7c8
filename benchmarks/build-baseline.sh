#!/usr/bin/env bash
# Builds the class service as it was at COMMIT (default: the last one before
# the SQLite store, with classes in memory only) into build/baseline, for
# service_capacity_benchmark --baseline build/baseline/out/tools/service/ka-tesmar-service.
# The whole tree of that commit is configured (without tests), as the service
# may use the libraries beside it; only the service is built, as a Debug build
# or as BUILD_TYPE says (RelWithDebInfo: as the package is built).
set -euo pipefail
cd "$(dirname "$0")/.."
commit=${1:-a3dce3b}
rm -rf build/baseline
mkdir -p build/baseline/src
git archive "$commit" | tar -x -C build/baseline/src
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S build/baseline/src -B build/baseline/out -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-Debug}" \
    -DKA_TESMAR_BUILD_TESTS=OFF "${launcher[@]}" >/dev/null
cmake --build build/baseline/out -j2 --target ka-tesmar-service
