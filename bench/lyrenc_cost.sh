#!/bin/bash
# CPU cost of the MP3 encoder component on the server's live command lines:
# CPU seconds (user + system) per second of audio at 24 and 56 kbit/s,
# beside ffmpeg encoding the same PCM to the same format with the same
# library, measured in the same run.
#
# Usage: bench/lyrenc_cost.sh [BUILD_DIR] [SECONDS]   (defaults: build, 120)
set -euo pipefail

build=${1:-build}
seconds=${2:-120}
lyrenc=$build/components/lyrenc/lyrenc
[ -x "$lyrenc" ] || { echo "no $lyrenc: build the lyrenc target first" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
pcm=$work/input.pcm
# Programme-like input rather than a pure tone: pink noise under a chord
# that glides, so the psychoacoustic model has real work to do.
sox -n -r 44100 -c 2 -b 16 -e signed -t raw "$pcm" \
  synth "$seconds" pinknoise sine 220-880 synth "$seconds" sine mix 330-660 vol 0.4
[ "$(stat -c %s "$pcm")" -eq $((seconds * 44100 * 4)) ] || { echo "sox made no input" >&2; exit 1; }

# Runs a command with the PCM on standard input and prints its CPU seconds.
cpu_seconds() {
  local TIMEFORMAT='%3U %3S'
  { time "$@" < "$pcm" > /dev/null 2>&1; } 2>&1 | awk '{ printf "%.3f", $1 + $2 }'
}

printf '%-8s %-28s %12s %18s\n' kbit/s encoder "CPU seconds" "CPU s per audio s"
for kbps in 24 56; do
  if [ "$kbps" -le 24 ]; then
    ours=("$lyrenc" -m m -a -b "$kbps" -h -r -x -s 44.100 --silent - -)
    peer=(ffmpeg -v error -f s16le -ar 44100 -ac 2 -i - -ac 1 -ar 24000 -b:a "${kbps}k" -compression_level 2 -f mp3 -)
  else
    ours=("$lyrenc" -m s -b "$kbps" -h -r -x -s 44.100 --silent - -)
    peer=(ffmpeg -v error -f s16le -ar 44100 -ac 2 -i - -joint_stereo 0 -b:a "${kbps}k" -compression_level 2 -f mp3 -)
  fi
  for name in lyrenc ffmpeg; do
    if [ "$name" = lyrenc ]; then cpu=$(cpu_seconds "${ours[@]}"); else cpu=$(cpu_seconds "${peer[@]}"); fi
    awk -v k="$kbps" -v n="$name" -v c="$cpu" -v s="$seconds" 'BEGIN { printf "%-8s %-28s %12s %18.4f\n", k, n, c, c / s }'
  done
done
