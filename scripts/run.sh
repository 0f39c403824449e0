#!/usr/bin/env bash
# The main job: sets everything up, builds the setup program for 32-bit Windows
# and tells where it is and which version it is.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows

exe="$PWD/build/windows/TessalySetup.exe"
version=$(sed -n 's/^#define MRV_VERSION_TEXT "\(.*\)"/\1/p' build/windows/generated/build_config.h)
server=$(sed -n 's/^#define MRV_VENDOR_SERVER "\(.*\)"/\1/p' build/windows/generated/build_config.h)
echo
echo "setup program: $exe"
echo "version:       $version"
echo "vendor server: $server"
