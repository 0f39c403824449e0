#!/usr/bin/env bash
# The main job: sets everything up, builds the setup program for 32-bit Windows,
# and shows it at work under Wine: against a demo vendor site on 127.0.0.1 it
# installs the product (download, extraction, the product's setup program) and
# then the script packages that lie beside it, saving a picture of every page.
# The windows show on $DISPLAY when it is set, otherwise on an Xvfb display.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows

# Where the kernel cannot run 32-bit programs, Wine cannot either: the demo then
# runs the identical 64-bit build of the same code.
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  preset=windows
else
  preset=windows-x64
  echo "note: this kernel runs no 32-bit programs; the demo runs the x86_64 build"
  cmake --preset windows-x64 >/dev/null
  cmake --build --preset windows-x64
fi
build="$PWD/build/$preset"
bench=tests/bench

# The demo vendor site is the end-to-end tests' instance of the test vendor
# server; the demo puts the product package, the version file and the setup
# description there (its pages /tessaly.php and /License.php are built in).
site_started=
if ! { [ -f "$build/e2e/bench/vendor.pid" ] && kill -0 "$(cat "$build/e2e/bench/vendor.pid")" 2>/dev/null; }; then
  "$bench/vendor" start "$build/e2e" >/dev/null
  site_started=1
fi
display_started=
if [ -n "${DISPLAY:-}" ]; then
  export MRV_DEMO_PAUSE_MS=${MRV_DEMO_PAUSE_MS:-1500}
elif ! { [ -f "$build/bench/display.pid" ] && kill -0 "$(cat "$build/bench/display.pid")" 2>/dev/null; }; then
  "$bench/display" start "$build" >/dev/null
  display_started=1
fi
cleanup() {
  [ -z "$site_started" ] || "$bench/vendor" stop "$build/e2e"
  if [ -n "$display_started" ]; then
    # Wine's processes go first, so that none of them sees its display vanish.
    WINEPREFIX="$build/bench/wineprefix" /usr/lib/wine/wineserver -k 2>/dev/null || true
    "$bench/display" stop "$build"
  fi
}
trap cleanup EXIT

rm -f "$build"/screenshots/demo_*.png
status=0
"$bench/wine-run" "$build/e2e_demo.exe" --gtest_brief=1 || status=$?

exe="$PWD/build/windows/TessalySetup.exe"
version=$(sed -n 's/^#define MRV_VERSION_TEXT "\(.*\)"/\1/p' build/windows/generated/build_config.h)
server=$(sed -n 's/^#define MRV_VENDOR_SERVER "\(.*\)"/\1/p' build/windows/generated/build_config.h)
port=$(sed -n 's/^http=//p' "$build/e2e/bench/vendor.ports")
run="$build/demo/run"
echo
echo "setup program:    $exe (version $version, vendor server $server)"
echo "demo program:     $run/setup/TessalySetup.exe (from $build), with the script packages beside it"
echo "demo vendor site: http://127.0.0.1:$port, files in $build/e2e/bench/vendor-files"
echo "                  (the program's requests for $server reach it as proxy requests)"
echo "product folder:   $run/product"
echo "script folder:    $run/product/Library/Script"
echo "programs started: $run/started.record"
echo "screenshots:"
for picture in "$build"/screenshots/demo_*.png; do
  [ -e "$picture" ] && echo "  $picture"
done
if [ "$status" -ne 0 ]; then
  echo "the demo did not run through (exit status $status)" >&2
fi
exit "$status"
