#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the fuzz smoke runs (clang, sanitizers)
# first, then the main suite, whose CTest summary is the last line printed.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh

CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DQUILLMER_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target fuzzers
ctest --test-dir build-fuzz --output-on-failure

./scripts/build.sh
ctest --test-dir build --output-on-failure -j"$(nproc)"
