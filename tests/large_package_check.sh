#!/bin/sh
# Opt-in check, not part of CI: installs a ZIP64 package of 4.5 GB through the
# install tests. The package is sparse where the file system allows; the
# extracted file takes 4.5 GB of real disk space for the time of the test.
#
#   tests/large_package_check.sh [BUILD_FOLDER]   (default build/windows-x64)
set -eu
cd "$(dirname "$0")/.."
build=${1:-build/windows-x64}
packages="$build/install_packages"
trap 'rm -f "$packages/large.zip"' EXIT
python3 tests/fixtures/make_install_packages.py --large "$packages"
ctest --test-dir "$build" -R 'PackageBeyondFourGigabytesInstalls' --output-on-failure
