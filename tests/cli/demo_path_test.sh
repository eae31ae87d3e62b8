#!/usr/bin/env bash
# The README's main command on the tools of this build, as on a fresh machine with no keys and no
# relay: it must end with an implementation brief whose every quote is in the transcript, whose every
# frame matches its digest, and which an MCP client read. Usage: demo_path_test.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
source_dir=$1 build_dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work XDG_CONFIG_HOME=$work/config
unset QUILLMER_RTMS_URL QUILLMER_RTMS_TOKEN QUILLMER_LOCAL_GEMINI
"$source_dir/scripts/run-demo.sh" --built "$build_dir" >"$work/demo.out" 2>&1 || { cat "$work/demo.out"; exit 1; }
brief=$(sed -n 's/^== Implementation brief: //p' "$work/demo.out")
[[ -f "$brief" ]] || { cat "$work/demo.out"; echo "the demo did not end with a brief" >&2; exit 1; }
grep -q '^# Quillmer implementation brief' "$work/demo.out" || { echo "no MCP client read the brief" >&2; exit 1; }
node - "$(dirname "$brief")" <<'JS'
const fs = require('node:fs'), path = require('node:path'), crypto = require('node:crypto');
const folder = process.argv[2];
const brief = JSON.parse(fs.readFileSync(path.join(folder, 'implementation-brief.json'), 'utf8'));
const transcript = JSON.parse(fs.readFileSync(path.join(folder, brief.transcriptFile), 'utf8'));
const spoken = transcript.segments.map((s) => s.text).join(' ');
const fail = (text) => { console.error(text); process.exit(1); };
if (brief.items.length !== 3) fail(`expected the demo's three requests, got ${brief.items.length}`);
if (brief.analysisProvider !== 'transcript-rules') fail(`analysed by ${brief.analysisProvider}`);
for (const item of brief.items) {
  if (!spoken.includes(item.quote)) fail(`quote not in the transcript: ${item.quote}`);
  if (item.evidenceFrames.length === 0) fail(`no frames for ${item.component}`);
  for (const frame of item.evidenceFrames) {
    const digest = crypto.createHash('sha256').update(fs.readFileSync(path.join(folder, frame.path))).digest('hex');
    if (digest !== frame.sha256) fail(`digest of ${frame.path} does not match`);
  }
}
JS
