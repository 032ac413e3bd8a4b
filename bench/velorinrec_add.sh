#!/bin/bash
# Wall and CPU time of adding a long WAV file to the recordings library with
# velorin-rec (both bit rates), beside sox piped into lame making the same
# two files (the same bit rates, sample rates and channel counts, both
# encodes at once), measured in the same run.  Further velorin-rec
# programs (an older build, say) are measured on the same input.
#
# Usage: bench/velorinrec_add.sh [BUILD_DIR] [SECONDS] [OTHER_VELORIN_REC...]
#        (defaults: build, 3600)
# Runs inside tests/isolate, so the library is a private /opt/ostrel.
set -euo pipefail

build=$(readlink -f "${1:-build}")
seconds=${2:-3600}
shift $(($# < 2 ? $# : 2))
if [ "${VELORIN_ISOLATED:-}" != 1 ]; then
  self=$(readlink -f "$0")
  exec "$(dirname "$self")/../tests/isolate" "$build" "$self" "$build" "$seconds" "$@"
fi
[ -x /opt/ostrel/components/lyrenc/lyrenc ] || { echo "build the lyrenc target first" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
wav=$work/talk.wav
# Programme-like input: pink noise under a chord that glides.
sox -n -r 44100 -c 2 -b 16 "$wav" synth "$seconds" pinknoise sine 220-880 synth "$seconds" sine mix 330-660 vol 0.4
high=/opt/ostrel/velorin/etc/High/talk.mp3
low=/opt/ostrel/velorin/etc/Low/talk.mp3

# Runs a command and prints its wall and CPU seconds (children included).
measure() {
  local TIMEFORMAT='%3R %3U %3S'
  { time "$@" > /dev/null 2>&1; } 2>&1 | awk '{ printf "%9.1f %9.1f", $1, $2 + $3 }'
}

# The format of an MP3 file: "rate channels kbit/s".
format() {
  ffprobe -v error -select_streams a:0 -show_entries stream=sample_rate,channels,bit_rate \
    -of default=noprint_wrappers=1:nokey=1 "$1" | tr '\n' ' ' | awk '{ print $1, $2, $3 / 1000 }'
}

both_lame() {
  read -r hr hc hk <<< "$high_format"
  read -r lr lc lk <<< "$low_format"
  sox "$wav" -t wav -r "$hr" -c "$hc" - | lame --quiet --cbr -b "$hk" - "$work/high.mp3" &
  sox "$wav" -t wav -r "$lr" -c "$lc" - | lame --quiet --cbr -b "$lk" - "$work/low.mp3" &
  wait
}

printf 'Adding %d s of 44.1 kHz stereo (%d cores, load %s)\n' "$seconds" "$(nproc)" "$(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-44s %9s %9s\n' program "wall s" "CPU s"
for rec in "$build/velorin-rec" "$@"; do
  [ -x "$rec" ] || { echo "no program $rec (under tests/isolate only the build and source folders are seen)" >&2; exit 1; }
  rm -f "$high" "$low"
  line=$(measure "$rec" add "$wav")
  [ -s "$high" ] && [ -s "$low" ] || { echo "$rec made no recording" >&2; exit 1; }
  printf '%-44s %s\n' "$rec" "$line"
done
high_format=$(format "$high")
low_format=$(format "$low")
printf '%-44s %s\n' "sox | lame, both at once" "$(measure both_lame)"
printf 'formats (rate, channels, kbit/s): high %s, low %s\n' "$high_format" "$low_format"
