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
  "24|You need to fix the header here, it overlaps the logo."
  "34|Please make this text larger, it is hard to read."
)

inputs=()
filters=""
labels=""
for i in "${!lines[@]}"; do
  start=${lines[$i]%%|*}
  text=${lines[$i]#*|}
  espeak-ng -s 150 -w "$work/line$i.wav" "$text"
  inputs+=(-i "$work/line$i.wav")
  filters+="[$((i + 1)):a]aresample=48000,adelay=$((start * 1000))|$((start * 1000))[a$i];"
  labels+="[a$i]"
done

# A calm app mock-up: a header bar, a title, a button; a box appears at 12 s, the header turns red
# at 24 s, and the body text grows at 34 s.
video="color=c=0xEDF1F6:s=1280x720:r=30:d=42,
drawbox=x=0:y=0:w=1280:h=90:color=0x2B4C7E:t=fill:enable='lt(t,24)',
drawbox=x=0:y=0:w=1280:h=90:color=0xC0392B:t=fill:enable='gte(t,24)',
drawbox=x=80:y=160:w=520:h=60:color=0x34495E:t=fill,
drawbox=x=80:y=260:w=240:h=70:color=0x27AE60:t=fill:enable='lt(t,12)',
drawbox=x=640:y=160:w=240:h=70:color=0x27AE60:t=fill:enable='gte(t,12)',
drawbox=x=80:y=380:w=700:h=24:color=0x7F8C8D:t=fill:enable='lt(t,34)',
drawbox=x=80:y=380:w=900:h=48:color=0x7F8C8D:t=fill:enable='gte(t,34)'"

ffmpeg -loglevel error -y -f lavfi -i "${video//$'\n'/}" "${inputs[@]}" \
  -filter_complex "${filters}${labels}amix=inputs=${#lines[@]}:normalize=0,apad=whole_dur=42[aout]" \
  -map 0:v -map "[aout]" -t 42 -c:v libx264 -preset veryfast -pix_fmt yuv420p -g 60 \
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
