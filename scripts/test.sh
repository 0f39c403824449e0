#!/usr/bin/env bash
# Sets everything up and runs every test: the platform-free code natively under
# AddressSanitizer and UBSan, and the Windows programs under Wine (with Xvfb for
# the windowed tests).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

# Where the kernel cannot run 32-bit programs, Wine cannot either: the same code
# is then tested as a 64-bit build, and the 32-bit deployment build is compiled.
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  wine_preset=windows
else
  wine_preset=windows-x64
  echo "note: this kernel runs no 32-bit programs; Wine tests use the x86_64 build"
  cmake --preset windows >/dev/null
  cmake --build --preset windows
fi

jobs=$(nproc)
status=0

cmake --preset native >/dev/null
cmake --build --preset native
ctest --preset native -j "$jobs" || status=1

# The libFuzzer targets of the platform-free code, a minute each: a crash, leak
# or hang that they find fails the run (the input lands in build/fuzz/findings).
bash scripts/fuzz.sh 60 || status=1

cmake --preset "$wine_preset" >/dev/null
cmake --build --preset "$wine_preset"
ctest --preset "$wine_preset" -j "$jobs" || status=1

exit $status
