#!/bin/bash
# Installs the Debian 12 packages that building, running and testing need.
set -euo pipefail
here=$(dirname "$(readlink -f "$0")")
export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends $(grep -v '^#' "$here/packages.txt")
