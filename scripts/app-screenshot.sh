#!/usr/bin/env bash
# Opens quillmer-app under a private Xvfb on a library and keeps a screenshot of its window as a
# picture for a person to look at. Usage: app-screenshot.sh QUILLMER_APP DATA_HOME OUTPUT.png
set -euo pipefail
app=$1 data=$2 output=$3
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
display=$((500 + RANDOM % 400))
Xvfb ":$display" -screen 0 1280x860x24 -nolisten tcp >/dev/null 2>&1 & pids+=($!)
for _ in $(seq 100); do [[ -e "/tmp/.X11-unix/X$display" ]] && break; sleep 0.1; done
export DISPLAY=":$display" HOME=$work XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$data
dbus-run-session -- "$app" >"$work/app.log" 2>&1 & pids+=($!)
sleep "${QUILLMER_SCREENSHOT_DELAY:-10}"
mkdir -p "$(dirname "$output")"
ffmpeg -loglevel error -y -f x11grab -video_size 1280x860 -i ":$display" -frames:v 1 "$output"
echo "$output"
