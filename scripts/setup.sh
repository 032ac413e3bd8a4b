#!/bin/bash
# One command for a fresh Debian 12 machine: installs the packages Velorin
# needs, builds it, installs the program and its components under
# /opt/ostrel, and starts the streaming service.  On a machine without a
# sound card live input 1 is fed a 440 Hz test tone through the test ALSA
# plugin, so that the stream can be heard at once.
set -euo pipefail
root=$(dirname "$(dirname "$(readlink -f "$0")")")
build=$root/build

bash "$root/scripts/install-packages.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)"

bin=/opt/ostrel/velorin/bin
install -d -m 0755 "$bin"
for program in velorin velorin-rec; do
  install -m 0755 "$build/$program" "$bin/.$program.new"
  mv -f "$bin/.$program.new" "$bin/$program"
done
for component in lyrenc tarnel wendrik; do
  bash "$root/components/$component/$component.component" "$build/components/$component/$component"
done
# The shared data folder is written by the root service and by desktop users.
install -d -m 0777 /opt/ostrel/velorin/etc
install -m 0644 "$root/resources/etc/101.jpg" /opt/ostrel/velorin/etc/101.jpg
# The desktop's images: program icon, toolbar, log levels, tray, banner.
install -d -m 0755 /opt/ostrel/velorin/share
install -m 0644 "$root"/resources/share/*.png /opt/ostrel/velorin/share/

# A service started by an earlier run of this script is stopped first.
if pids=$(pgrep -f "^$bin/velorin -service"); then
  kill $pids
  for _ in $(seq 50); do pgrep -f "^$bin/velorin -service" >/dev/null || break; sleep 0.1; done
fi

if ! grep -qs '^ *[0-9]' /proc/asound/cards; then
  echo "No sound card found: live input 1 plays a 440 Hz test tone."
  export ALSA_CONFIG_PATH=/usr/share/alsa/alsa.conf:$build/tests/alsa/velorintest.conf
  export VELORIN_TESTPCM_CARD0=sine:440
fi

"$bin/velorin" -service
port=$(sed -n 's/^port=\([0-9]*\)\r\?$/\1/p' /opt/ostrel/velorin/etc/webserver 2>/dev/null | head -1 || true)
[ -n "$port" ] && [ "$port" != 0 ] || port=1085
echo
echo "Velorin is running: http://localhost:$port/"
echo "Listen to live input 1: mpg123 'http://localhost:$port/velorin.mp3?src=1&kbps=56'"
echo "Open the desktop in your X session: $bin/velorin"
