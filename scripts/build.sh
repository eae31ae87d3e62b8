#!/usr/bin/env bash
# Configures and builds Quillmer into build/ (warnings are errors).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DQUILLMER_WERROR=ON >/dev/null
cmake --build build -j"$(nproc)"
