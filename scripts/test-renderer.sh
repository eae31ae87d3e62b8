#!/usr/bin/env bash
# Runs the review web application's unit tests (Vitest), builds it, and runs its end-to-end tests in
# Debian's headless Chromium against a real `quillmer serve` (build it first: cmake --build build).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root/renderer"
npx --no-install vitest run
"$root/scripts/build-renderer.sh"
"$root/tests/app/serve_e2e.sh" "$root/build/src/cli/quillmer" "$root" "$root/build/share/quillmer/renderer"
