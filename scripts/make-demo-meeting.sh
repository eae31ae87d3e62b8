#!/usr/bin/env bash
# Makes a short product meeting to try Quillmer on: a screen recording (MOV, H.264 + AAC) in which
# things visibly change while a voice asks for changes, and the WebVTT transcript a meeting service
# would export for it. Usage: make-demo-meeting.sh OUTPUT_FOLDER
set -euo pipefail
out=${1:?usage: make-demo-meeting.sh OUTPUT_FOLDER}
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# What is said, and when (seconds).
lines=(
  "4|Thanks for joining, this is the new onboarding screen."
  "12|Can we move this button here, next to the title?"
  "26|You need to fix the logo here, it looks wrong."
  "40|Please make this text larger, it is hard to read."
)

inputs=()
filters=""
labels=""
for i in "${!lines[@]}"; do
  start=${lines[$i]%%|*}
  text=${lines[$i]#*|}
  flite -voice rms -t "$text" -o "$work/line$i.wav"
  inputs+=(-i "$work/line$i.wav")
  filters+="[$((i + 1)):a]aresample=48000,adelay=$((start * 1000))|$((start * 1000))[a$i];"
  labels+="[a$i]"
done

# A calm app mock-up: a header bar with a logo, a title, body text. While the voice speaks, a small
# button appears beside the title (12 s), the logo changes colour (26 s) and a text line grows (40 s).
video="color=c=0xEDF1F6:s=1280x720:r=30:d=48,
drawbox=x=0:y=0:w=1280:h=90:color=0x2B4C7E:t=fill,
drawbox=x=40:y=20:w=110:h=50:color=0xF1C40F:t=fill:enable='lt(t,26)',
drawbox=x=40:y=20:w=110:h=50:color=0xE74C3C:t=fill:enable='gte(t,26)',
drawbox=x=80:y=160:w=520:h=60:color=0x34495E:t=fill,
drawbox=x=640:y=170:w=120:h=40:color=0x27AE60:t=fill:enable='gte(t,12)',
drawbox=x=80:y=300:w=700:h=20:color=0x7F8C8D:t=fill,
drawbox=x=80:y=340:w=600:h=20:color=0x7F8C8D:t=fill:enable='lt(t,40)',
drawbox=x=80:y=340:w=600:h=34:color=0x7F8C8D:t=fill:enable='gte(t,40)'"

ffmpeg -loglevel error -y -f lavfi -i "${video//$'\n'/}" "${inputs[@]}" \
  -filter_complex "${filters}${labels}amix=inputs=${#lines[@]}:normalize=0,apad=whole_dur=48[aout]" \
  -map 0:v -map "[aout]" -t 48 -c:v libx264 -preset veryfast -pix_fmt yuv420p -g 60 \
  -c:a aac -b:a 128k "$out/demo-meeting.mov"

# The transcript, with each cue lasting about as long as its sentence.
{
  echo "WEBVTT"
  echo
  for i in "${!lines[@]}"; do
    start=${lines[$i]%%|*}
    text=${lines[$i]#*|}
    printf '%d\n00:%02d.000 --> 00:%02d.000\n<v Dana>%s\n\n' $((i + 1)) "$start" $((start + 5)) "$text"
  done
} > "$out/demo-meeting.vtt"
echo "$out/demo-meeting.mov"
echo "$out/demo-meeting.vtt"
