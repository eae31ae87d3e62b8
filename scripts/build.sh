#!/usr/bin/env bash
# Configures and builds Quillmer into build/ (warnings are errors): everything, or only the named
# targets. Usage: build.sh [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DQUILLMER_WERROR=ON >/dev/null
cmake --build build -j"$(nproc)" ${1:+--target "$@"}
