#!/usr/bin/env bash
# The review page's end-to-end tests in headless Chromium against a real `quillmer serve`, on a
# generated meeting: a short generated recording and a VTT transcript imported through the bridge
# (path arguments) and processed to its export. A private Xvfb and PulseAudio serve the recording
# test. Usage: serve_e2e.sh QUILLMER SOURCE_DIR RENDERER_DIR
set -euo pipefail
quillmer=$1 source_dir=$2 renderer=$3
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
export HOME=$work XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/run
mkdir -p -m 700 "$XDG_RUNTIME_DIR"

display=$((100 + RANDOM % 400))
Xvfb ":$display" -screen 0 1280x720x24 -nolisten tcp >/dev/null 2>&1 & pids+=($!)
pulseaudio --system=false --exit-idle-time=-1 -n --load=module-native-protocol-unix \
  --load="module-null-sink sink_name=meeting rate=48000 channels=2" --load=module-always-sink >/dev/null 2>&1 & pids+=($!)
export DISPLAY=":$display" PULSE_SERVER="unix:$XDG_RUNTIME_DIR/pulse/native"
for _ in $(seq 100); do [[ -S "$XDG_RUNTIME_DIR/pulse/native" && -e "/tmp/.X11-unix/X$display" ]] && break; sleep 0.1; done

ffmpeg -loglevel error -f lavfi -i "testsrc=size=640x360:rate=30:duration=12" -f lavfi -i "sine=frequency=440:duration=12" \
  -c:v libx264 -pix_fmt yuv420p -c:a aac -shortest "$work/meeting.mp4"
ffmpeg -loglevel error -f lavfi -i "testsrc2=size=640x360:rate=30:duration=6" -f lavfi -i "sine=frequency=660:duration=6" \
  -c:v libx264 -pix_fmt yuv420p -c:a aac -shortest "$work/earlier.mp4"
cat > "$work/meeting.vtt" <<'VTT'
WEBVTT

00:00:01.000 --> 00:00:03.000
Welcome, this is the weekly product review.

00:00:03.500 --> 00:00:06.000
You need to fix this header, it is too tall.

00:00:06.500 --> 00:00:09.000
And could you move this button over here?
VTT

# Call audio for the recording test: a tone playing into the null sink the whole time.
ffmpeg -loglevel error -f lavfi -i "sine=frequency=500:duration=300" -ac 2 -ar 48000 "$work/call.wav"
paplay "$work/call.wav" & pids+=($!)

# Usage errors exit 2, as every command's do.
for wrong in "--port" "--port 70000" "--colour red" "--renderer $work"; do
  status=0; "$quillmer" serve $wrong 2>/dev/null || status=$?
  [[ $status == 2 ]] || { echo "serve $wrong exited $status, not 2" >&2; exit 1; }
done

# A meeting exported by the command-line tool but not analysed yet: the page offers to analyse it here.
ffmpeg -loglevel error -f lavfi -i "testsrc=size=480x270:rate=30:duration=10" -f lavfi -i "sine=frequency=550:duration=10" \
  -c:v libx264 -pix_fmt yuv420p -c:a aac -shortest "$work/waiting.mp4"
waiting=$("$quillmer" import-recording "$work/waiting.mp4" 2>/dev/null)
"$quillmer" import-transcript "$waiting" "$work/meeting.vtt" >/dev/null
"$quillmer" extract "$waiting" >/dev/null 2>&1
"$quillmer" export "$waiting" >/dev/null 2>&1
"$quillmer" serve --port 0 --renderer "$renderer" >"$work/serve.out" 2>"$work/serve.err" & serve_pid=$!; pids+=($serve_pid)
for _ in $(seq 100); do grep -q '^Open ' "$work/serve.out" && break; sleep 0.1; done
url=$(sed -n 's/^Open //p' "$work/serve.out")
[[ -n "$url" ]] || { cat "$work/serve.err" >&2; exit 1; }
base=${url%%/\?token=*}
token=${url##*token=}
call() {
  curl -sS -H "Authorization: Bearer $token" -H 'Content-Type: application/json' \
    --data "{\"id\":\"e2e-$1\",\"method\":\"$1\",\"args\":$2}" "$base/bridge"
}
# Two meetings, as the page's tests expect to delete one and still list another.
call capture.importRecording "[\"$work/earlier.mp4\"]" | grep -q '"ok":true'
call capture.importRecording "[\"$work/meeting.mp4\"]" | grep -q '"ok":true'
call capture.importTranscript "[\"$work/meeting.vtt\"]" | grep -q '"ok":true'
# Without a relay the run goes on to analysis on this computer: the transcript rules, nothing pre-selected.
call capture.process '[]' | grep -q '"ok":true'
grep -q '"provider" *: *"transcript-rules"' "$XDG_DATA_HOME"/Quillmer/Exports/*/feedback.json
# The page starts at home, as it would for someone who has not picked a meeting yet.
call capture.newSession '[]' | grep -q '"ok":true'

(cd "$source_dir/renderer" && QUILLMER_SERVE_URL=$url QUILLMER_TEST_ARTEFACTS="${QUILLMER_TEST_ARTEFACTS:-$work/artefacts}" \
  node --test --test-concurrency=1 e2e/review.e2e.test.mjs) || { cat "$work/serve.err" >&2; exit 1; }

# While a long meeting is being transcribed the server still answers: cancel stops the run, and
# SIGTERM ends the server (its stages are asked to stop; nothing waits for them for ever).
ffmpeg -loglevel error -f lavfi -i "color=c=gray:size=160x90:rate=5:duration=600" -f lavfi -i "sine=frequency=300:duration=600" \
  -c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -shortest "$work/long.mp4"
call capture.importRecording "[\"$work/long.mp4\"]" | grep -q '"ok":true'
transcribing() {
  for _ in $(seq 300); do call capture.state '[]' | grep -q '"stage":"transcribing"' && return 0; sleep 0.1; done
  echo "the long meeting never started transcribing" >&2; return 1
}
call capture.process '[]' >"$work/cancelled.json" & process=$!
transcribing
call capture.cancel '[]' | grep -q 'Stopping safely'
wait $process
grep -q '"ok":false' "$work/cancelled.json"
call capture.process '[]' >/dev/null & pids+=($!)
transcribing
kill -TERM "$serve_pid"
for _ in $(seq 150); do kill -0 "$serve_pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$serve_pid" 2>/dev/null; then echo "quillmer serve ignored SIGTERM during a bridge call" >&2; exit 1; fi
