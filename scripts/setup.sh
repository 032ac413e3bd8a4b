#!/bin/bash
# One command for a fresh Debian 12 machine: installs the packages Velorin
# needs, builds it and runs its main job.
set -euo pipefail
root=$(dirname "$(dirname "$(readlink -f "$0")")")
bash "$root/scripts/install-packages.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" -j "$(nproc)"
"$root/build/velorin"
