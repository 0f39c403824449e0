#!/usr/bin/env bash
# Installs, on a fresh Debian 12 machine, everything the build and the tests need,
# and builds the third-party libraries (minizip, GoogleTest) for the i686 target.
# Safe to run again: finished steps are skipped.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
deps="$here/.deps"
targets=(i686-w64-mingw32 x86_64-w64-mingw32)
export DEBIAN_FRONTEND=noninteractive

need_packages() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || return 0
  done
  return 1
}

as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

# Wine's bcrypt verifies ECDSA signatures through GnuTLS, which Wine only
# recommends: it is named here for both architectures. openssl signs the test
# vendor server's descriptions (tools/sign_setup.py).
packages=(g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix
          g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-tools
          libz-mingw-w64-dev wine wine64 wine32:i386 libgnutls30 libgnutls30:i386
          xvfb xauth x11-apps imagemagick
          fonts-wqy-microhei cmake ninja-build g++ clang libclang-rt-14-dev
          python3 dpkg-dev googletest zlib1g-dev openssl)

if need_packages "${packages[@]}"; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386
  fi
  as_root apt-get update -q
  as_root apt-get install -y -q --no-install-recommends "${packages[@]}"
fi

mkdir -p "$deps"
src="$deps/src"

# minizip comes from Debian's source package of the same name: fetched with a
# deb-src list of our own so the machine's apt configuration is left alone.
if [ ! -d "$deps/minizip-src" ]; then
  mkdir -p "$src/lists/partial" "$src/archives/partial"
  cat > "$src/sources.list" <<'LIST'
deb-src http://deb.debian.org/debian bookworm main
LIST
  apt_src=(-o "Dir::Etc::sourcelist=$src/sources.list" -o Dir::Etc::sourceparts=-
           -o "Dir::State::Lists=$src/lists" -o "Dir::Cache::Archives=$src/archives"
           -o APT::Get::List-Cleanup=0)
  apt-get "${apt_src[@]}" update -q
  (cd "$src" && apt-get "${apt_src[@]}" source --download-only minizip)
  # Unpacked with Debian's own patches (security fixes among them) applied.
  dsc=$(ls "$src"/minizip_*.dsc | head -n 1)
  rm -rf "$src/tree"
  dpkg-source --no-check -x "$dsc" "$src/tree" >/dev/null
  mz=$(dirname "$(find "$src/tree" -name unzip.c | head -n 1)")
  # The native build (fuzzing, sanitizers) compiles the same sources itself.
  cp -r "$mz" "$deps/minizip-src.tmp" && mv "$deps/minizip-src.tmp" "$deps/minizip-src"
fi

for target in "${targets[@]}"; do
  prefix="$deps/$target"
  if [ ! -f "$prefix/lib/libminizip.a" ]; then
    obj="$deps/obj-$target" && rm -rf "$obj" && mkdir -p "$obj" "$prefix/lib" "$prefix/include/minizip"
    for f in unzip ioapi; do
      $target-gcc-posix -O2 -DNOCRYPT -DNOUNCRYPT -DUSE_FILE32API -I"$deps/minizip-src" \
        -c "$deps/minizip-src/$f.c" -o "$obj/$f.o"
    done
    cp "$deps/minizip-src"/unzip.h "$deps/minizip-src"/ioapi.h "$prefix/include/minizip/"
    $target-ar rcs "$prefix/lib/libminizip.a" "$obj"/*.o
  fi
  if [ ! -f "$prefix/lib/libgtest.a" ]; then
    gt="$deps/gtest-$target" && rm -rf "$gt"
    cmake -S /usr/src/googletest -B "$gt" -G Ninja \
      -DCMAKE_SYSTEM_NAME=Windows \
      -DCMAKE_C_COMPILER=$target-gcc-posix -DCMAKE_CXX_COMPILER=$target-g++-posix \
      -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
      -DBUILD_GMOCK=OFF -DCMAKE_EXE_LINKER_FLAGS=-static >/dev/null
    cmake --build "$gt" >/dev/null
    cmake --install "$gt" >/dev/null
  fi
done

echo "set-up done: $deps"
