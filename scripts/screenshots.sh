#!/bin/bash
# Takes the README's screenshots of the desktop on a virtual display, with
# the program cut off from the machine by tests/isolate:
#   tests/isolate BUILD xvfb-run -a -s "-screen 0 1024x768x24" bash scripts/screenshots.sh BUILD
# Writes docs/desktop-main-window.png and docs/desktop-settings-dialog.png.
set -euo pipefail
root=$(dirname "$(dirname "$(readlink -f "$0")")")
build=$(readlink -f "$1")
mkdir -p /opt/ostrel/velorin/etc /opt/ostrel/velorin/share
cp "$root"/resources/share/*.png /opt/ostrel/velorin/share/
# Live input 1 plays a test tone; the web server on a port of its own, its
# first-start notice already given.
printf 'sources=1\r\n' >/opt/ostrel/velorin/etc/live
printf 'port=18085\r\n' >/opt/ostrel/velorin/etc/webserver
printf 'serverport=85\r\npreviousserverport=85\r\n' >/opt/ostrel/velorin/etc/webaccess
export ALSA_CONFIG_PATH=/usr/share/alsa/alsa.conf:$build/tests/alsa/velorintest.conf
export VELORIN_TESTPCM_CARD0=sine:440
"$build/velorin" 2>/dev/null &
pid=$!
main=$(xdotool search --sync --onlyvisible --name '^Velorin$' | head -1)
curl -s -o /dev/null 'http://localhost:18085/velorin.mp3?src=fmissing&kbps=56' || true
sleep 2
import -window "$main" "$root/docs/desktop-main-window.png"
xdotool windowfocus --sync "$main" key ctrl+s
sheet=$(xdotool search --sync --onlyvisible --name '^Velorin Settings$' | head -1)
sleep 1
import -window "$sheet" "$root/docs/desktop-settings-dialog.png"
kill "$pid"
