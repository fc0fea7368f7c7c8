#!/usr/bin/env bash
# Builds the class service as it was at COMMIT (default: the last one before
# the SQLite store, with classes in memory only) into build/baseline, for
# service_capacity_benchmark --baseline build/baseline/out/tools/service/ka-tesmar-service.
set -euo pipefail
cd "$(dirname "$0")/.."
commit=${1:-a3dce3b}
rm -rf build/baseline
mkdir -p build/baseline/src
git archive "$commit" tools/service | tar -x -C build/baseline/src
cat >build/baseline/src/CMakeLists.txt <<'CMAKE'
cmake_minimum_required(VERSION 3.25)
project(KaTesmarServiceBaseline LANGUAGES CXX)
set(CMAKE_CXX_STANDARD 20)
find_package(Qt6 REQUIRED COMPONENTS Core Network HttpServer)
qt_standard_project_setup()
add_subdirectory(tools/service)
CMAKE
cmake -S build/baseline/src -B build/baseline/out -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build/baseline/out -j2
