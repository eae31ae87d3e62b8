#!/usr/bin/env bash
# Type-checks and builds the review web application into build/share/quillmer/renderer/
# (or the folder given as the first argument): index.html plus its assets, with relative URLs.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="${1:-$root/build/share/quillmer/renderer}"
mkdir -p "$out"
out="$(cd "$out" && pwd)"
cd "$root/renderer"
if [[ ! -d node_modules ]]; then
  echo "The renderer's npm packages are missing; run scripts/install-deps.sh first." >&2
  exit 1
fi
npx --no-install tsc --noEmit
npx --no-install vite build --logLevel warn --outDir "$out"
