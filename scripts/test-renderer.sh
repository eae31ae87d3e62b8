#!/usr/bin/env bash
# Runs the review web application's unit tests (Vitest), builds it, and runs its end-to-end tests in
# Debian's headless Chromium. The end-to-end tests use QUILLMER_SERVE_URL when it is set (an address
# printed by `quillmer serve`), else their own fake server.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root/renderer"
npx --no-install vitest run
"$root/scripts/build-renderer.sh"
node --test --test-concurrency=1 e2e/review.e2e.test.mjs
