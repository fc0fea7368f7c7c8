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
# GCC 12 warns wrongly about some strings at -O2 (array-bounds): only a
# Debug build treats warnings as errors.
werror=ON
[ "${BUILD_TYPE:-Debug}" = Debug ] || werror=OFF
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
# Built two levels below its sources, as the presets build: with ccache's
# base directory, files unchanged since COMMIT come from the cache.
cmake -S build/baseline/src -B build/baseline/src/build/baseline -G Ninja \
    -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-Debug}" -DKA_TESMAR_BUILD_TESTS=OFF -DCMAKE_COMPILE_WARNING_AS_ERROR=$werror "${launcher[@]}" >/dev/null
ln -s src/build/baseline build/baseline/out
cmake --build build/baseline/out -j2 --target ka-tesmar-service
