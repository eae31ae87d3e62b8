#!/usr/bin/env bash
# Installs what is missing, builds what the demo runs (the quillmer tool and the review page), and
# shows Quillmer's local path on a generated meeting: import the recording, add its transcript, find
# the evidence moments, export the evidence bundle, write the meeting summary on this computer, and end
# with the implementation brief's path or the reason there is none. The demo library lives in
# build/demo-data, never in your own Quillmer library.
#   --on-device   transcribe the recording on this computer (PocketSphinx) instead of importing the VTT
#   --analyze     approve sending the evidence moments for analysis (relay or your Gemini key) and
#                 end with the implementation brief's path
set -euo pipefail
cd "$(dirname "$0")/.."
on_device=false
analyze=false
for option in "$@"; do
  case "$option" in
    --on-device) on_device=true ;;
    --analyze) analyze=true ;;
    -h|--help) sed -n '2,9p' "$0"; exit 0 ;;
    *) echo "run-demo.sh: unknown option $option (see --help)" >&2; exit 2 ;;
  esac
done

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
echo "Meeting summary: $("$quillmer" summary "$session")"
brief="$XDG_DATA_HOME/Quillmer/Exports/$session/implementation-brief.md"
analysed=false
if $analyze; then
  echo "== quillmer analyze $session --approve evidence"
  if "$quillmer" analyze "$session" --approve evidence; then analysed=true; fi
fi
blocked=$("$quillmer" plan "$session" | sed -n 's/^Nothing can be sent: //p')
if [ -f "$brief" ]; then
  echo "== Implementation brief: $brief"
elif $analysed; then
  echo "== No implementation brief: no item reached 72% confidence (choose with quillmer review $session, then quillmer brief $session)"
elif $analyze; then
  echo "== No implementation brief: the analysis could not run (see above)"
else
  echo "== No implementation brief: analysis was not approved, so nothing left this computer.${blocked:+ $blocked} (run with --analyze to approve it; quillmer plan $session shows what would go where)"
fi
