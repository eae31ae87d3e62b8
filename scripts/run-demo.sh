#!/usr/bin/env bash
# Installs what is missing, builds, and shows Quillmer's main job on a demo. The demo's library
# lives in build/demo-data, never in your own Quillmer library.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh
export XDG_DATA_HOME="$PWD/build/demo-data"
build/src/cli/quillmer demo
