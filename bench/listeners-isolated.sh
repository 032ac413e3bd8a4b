#!/bin/bash
# Runs bench/listeners.sh with Velorin started the way a fresh installation
# starts it, cut off from the machine (tests/isolate: a private /opt/ostrel,
# /tmp and HOME): the components come from the build, and live input 1 is
# the test sound card playing a 440 Hz tone through ALSA.  Arguments go to
# bench/listeners.sh; BUILD names the build folder (default build-rel, a
# RelWithDebInfo build: cmake -S . -B build-rel -DCMAKE_BUILD_TYPE=RelWithDebInfo).
#
#   bench/listeners-isolated.sh --counts "500 2000 4000" --duration 60
set -euo pipefail
root=$(dirname "$(dirname "$(readlink -f "$0")")")
build=$(readlink -f "${BUILD:-$root/build-rel}")
cmake --build "$build" -j2 --target velorin lyrenc listeners \
  velorin_testalsa_pcm velorin_testalsa_ctl >/dev/null
exec "$root/tests/isolate" "$build" env \
  ALSA_CONFIG_PATH="/usr/share/alsa/alsa.conf:$build/tests/alsa/velorintest.conf" \
  VELORIN_TESTPCM_CARD0=sine:440 VELORIN_BIN="$build/velorin" BUILD="$build" \
  bash "$root/bench/listeners.sh" "$@"
