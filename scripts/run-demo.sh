#!/usr/bin/env bash
# Installs what is missing, builds what the demo runs (the quillmer tool and the review page), and
# shows Quillmer's local path on a generated meeting: import the recording, add its transcript, find
# the evidence moments, export the evidence bundle, and write the meeting summary on this computer
# (analysis is never approved here, so the run ends saying why there is no brief). The demo library lives in build/demo-data, never
# in your own Quillmer library.
#   --on-device   transcribe the recording on this computer (PocketSphinx) instead of importing the VTT
set -euo pipefail
cd "$(dirname "$0")/.."
on_device=false
case "${1:-}" in
  --on-device) on_device=true ;;
  "") ;;
  -h|--help) sed -n '2,7p' "$0"; exit 0 ;;
  *) echo "run-demo.sh: unknown option $1 (see --help)" >&2; exit 2 ;;
esac

./scripts/install-deps.sh
./scripts/build.sh quillmer renderer

quillmer=build/src/cli/quillmer
export XDG_DATA_HOME="$PWD/build/demo-data"
rm -rf "$XDG_DATA_HOME"
echo "== Making a demo meeting (screen recording with spoken change requests, and its VTT)"
scripts/make-demo-meeting.sh build/demo >/dev/null
echo "== quillmer import-recording build/demo/demo-meeting.mov"
session=$("$quillmer" import-recording build/demo/demo-meeting.mov)
if ! $on_device; then
  echo "== quillmer import-transcript $session build/demo/demo-meeting.vtt"
  "$quillmer" import-transcript "$session" build/demo/demo-meeting.vtt
fi
echo "== quillmer process $session"
"$quillmer" process "$session"
echo "== quillmer sessions"
"$quillmer" sessions
echo "== To review it in a browser: XDG_DATA_HOME=$XDG_DATA_HOME $quillmer serve"
echo "== quillmer summary $session"
summary=$("$quillmer" summary "$session")
blocked=$("$quillmer" plan "$session" | sed -n 's/^Nothing can be sent: //p')
echo "Meeting summary (rule-based, made on this computer): $summary"
echo "No implementation brief: analysis was not approved, so nothing left this computer.${blocked:+ $blocked}"
