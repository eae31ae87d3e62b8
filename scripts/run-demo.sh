#!/usr/bin/env bash
# Installs what is missing, builds what the demo runs (the quillmer tool, its MCP server and the
# review page), and shows Quillmer's whole local path on a generated meeting: import the recording,
# add its transcript, find the evidence moments, export the evidence bundle, analyse it on this
# computer (a local model when quillmer settings names one, else the transcript rules), write the
# meeting summary, include every item, write the implementation brief, and read it back the way a
# coding agent does, through one MCP call. Ends with the brief's path. The demo library lives in
# build/demo-data, never in your own Quillmer library.
#   --on-device   transcribe the recording on this computer (PocketSphinx) instead of importing the VTT
#   --analyze     approve sending the evidence moments for analysis (relay or your Gemini key) when
#                 this build has a remote route
#   --built DIR   use the tools already built in DIR (its demo-data and demo folders are the scratch
#                 space) instead of installing and building: how the tests run the demo
set -euo pipefail
cd "$(dirname "$0")/.."
on_device=false
analyze=false
built=
while [ $# -gt 0 ]; do
  option=$1; shift
  case "$option" in
    --on-device) on_device=true ;;
    --analyze) analyze=true ;;
    --built) built=${1:?--built needs a build folder}; shift ;;
    -h|--help) sed -n '2,14p' "$0"; exit 0 ;;
    *) echo "run-demo.sh: unknown option $option (see --help)" >&2; exit 2 ;;
  esac
done

if [ -z "$built" ]; then
  ./scripts/install-deps.sh
  ./scripts/build.sh quillmer quillmer-mcp renderer
fi
build=${built:-build}
quillmer=$build/src/cli/quillmer
export XDG_DATA_HOME="$(cd "$build" && pwd)/demo-data"
rm -rf "$XDG_DATA_HOME"
echo "== Making a demo meeting (screen recording with spoken change requests, and its VTT)"
scripts/make-demo-meeting.sh "$build/demo" >/dev/null
echo "== quillmer import-recording $build/demo/demo-meeting.mov"
session=$("$quillmer" import-recording "$build/demo/demo-meeting.mov")
if ! $on_device; then
  echo "== quillmer import-transcript $session $build/demo/demo-meeting.vtt"
  "$quillmer" import-transcript "$session" "$build/demo/demo-meeting.vtt"
fi
echo "== quillmer process $session"
"$quillmer" process "$session"
echo "== quillmer sessions"
"$quillmer" sessions
echo "== To review it in a browser: XDG_DATA_HOME=$XDG_DATA_HOME $quillmer serve"
echo "== quillmer summary $session"
echo "Meeting summary: $("$quillmer" summary "$session")"
export_folder="$XDG_DATA_HOME/Quillmer/Exports/$session"
analysed=false
if $analyze; then
  echo "== quillmer analyze $session --approve evidence"
  if "$quillmer" analyze "$session" --approve evidence; then analysed=true; fi
fi
if [ ! -f "$export_folder/feedback.json" ]; then
  blocked=$("$quillmer" plan "$session" | sed -n 's/^Nothing can be sent: //p')
  if $analyze; then
    echo "== No implementation brief: the analysis could not run (see above)"
  else
    echo "== No implementation brief: analysis was not approved, so nothing left this computer.${blocked:+ $blocked} (run with --analyze to approve it; quillmer plan $session shows what would go where)"
  fi
  exit 0
fi
echo "== quillmer review $session --include-all"
"$quillmer" review "$session" --include-all
echo "== quillmer brief $session"
if ! brief=$("$quillmer" brief "$session"); then
  echo "== No implementation brief: no feedback item was found to include"
  exit 0
fi
echo "== A coding agent reads it: get_brief through quillmer-mcp (one stateless MCP call)"
request='{"jsonrpc":"2.0","id":1,"method":"tools/call","params":{"name":"get_brief","arguments":{"meeting":"'"$session"'"},"_meta":{"io.modelcontextprotocol/protocolVersion":"2026-07-28","io.modelcontextprotocol/clientCapabilities":{}}}}'
echo "$request" | QUILLMER_LIBRARY_ROOTS="$XDG_DATA_HOME/Quillmer/Exports" "$build/libexec/quillmer/quillmer-mcp" |
  node -e 'let input = ""; process.stdin.on("data", (d) => (input += d)).on("end", () => {
    const answer = JSON.parse(input.split("\n")[0]);
    if (!answer.result || answer.result.isError) { console.error(input); process.exit(1); }
    const text = (answer.result.structuredContent ?? JSON.parse(answer.result.content[0].text)).text.split("\n");
    console.log(text.slice(0, 14).join("\n") + (text.length > 14 ? "\n…" : ""));
  });'
echo "== Implementation brief: $brief"
