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
# recommends: it is named here for both architectures; so is fonts-wine, whose
# Marlett font draws the caption buttons. openssl signs the test vendor
# server's descriptions (tools/sign_setup.py); osslsigncode signs the setup
# program (Authenticode) when the build is given a certificate, and its test.
packages=(g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix
          g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-tools
          libz-mingw-w64-dev wine wine64 wine32:i386 libgnutls30 libgnutls30:i386
          xvfb xauth x11-apps imagemagick fonts-wine
          fonts-wqy-microhei cmake ninja-build g++ clang libclang-rt-14-dev
          python3 dpkg-dev debian-keyring googletest zlib1g-dev locales openssl osslsigncode)

if need_packages "${packages[@]}"; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386
  fi
  as_root apt-get update -q
  as_root apt-get install -y -q --no-install-recommends "${packages[@]}"
fi

# The Wine programs run in a Simplified Chinese locale, as on the users' Windows.
if ! locale -a 2>/dev/null | grep -qix 'zh_CN\.utf-\?8'; then
  if grep -q '^# *zh_CN\.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
    as_root sed -i 's/^# *\(zh_CN\.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  elif ! grep -q '^zh_CN\.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
    echo 'zh_CN.UTF-8 UTF-8' | as_root tee -a /etc/locale.gen >/dev/null
  fi
  as_root locale-gen >/dev/null
fi

# The machine's own Debian archive entries, from its apt sources in both the
# one-line (*.list) and the deb822 (*.sources) format, as deb-src lines with
# the same mirrors, suites and components. Debian's entries are those whose
# suite is the release (bookworm) or one of its updates (bookworm-security ...).
debian_source_lines() {
  local codename files=() file
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  if [ -z "$codename" ]; then
    echo "setup: /etc/os-release names no release" >&2
    return 1
  fi
  [ ! -f /etc/apt/sources.list ] || files+=(/etc/apt/sources.list)
  for file in /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
    [ ! -f "$file" ] || files+=("$file")
  done
  [ ${#files[@]} -gt 0 ] || return 0
  awk -v codename="$codename" '
    function is_debian_suite(suite) {
      return suite == codename || index(suite, codename "-") == 1
    }
    function emit(uris, suites, components,   u, s, nu, ns, uri, suite) {
      gsub(/[ \t]+/, " ", components)
      sub(/^ /, "", components)
      nu = split(uris, uri, /[ \t]+/)
      ns = split(suites, suite, /[ \t]+/)
      for (u = 1; u <= nu; u++)
        for (s = 1; s <= ns; s++)
          if (uri[u] != "" && is_debian_suite(suite[s]))
            print "deb-src " uri[u] " " suite[s] " " components
    }
    function flush() {
      if (field["types"] ~ /(^|[ \t])deb(-src)?([ \t]|$)/ && tolower(field["enabled"]) !~ /^[ \t]*no/)
        emit(field["uris"], field["suites"], field["components"])
      delete field
      name = ""
    }
    FNR == 1 { flush(); deb822 = FILENAME ~ /\.sources$/ }
    deb822 {
      if ($0 ~ /^#/) next
      if ($0 ~ /^[ \t]*$/) { flush(); next }
      if ($0 ~ /^[ \t]/) { if (name != "") field[name] = field[name] " " $0; next }
      colon = index($0, ":")
      if (colon == 0) next
      name = tolower(substr($0, 1, colon - 1))
      field[name] = substr($0, colon + 1)
      next
    }
    {
      line = $0
      sub(/#.*/, "", line)
      gsub(/\[[^]]*\]/, " ", line)
      n = split(line, word, /[ \t]+/)
      first = word[1] == "" ? 2 : 1
      if (word[first] != "deb" && word[first] != "deb-src") next
      components = ""
      for (i = first + 3; i <= n; i++) if (word[i] != "") components = components " " word[i]
      emit(word[first + 1], word[first + 2], substr(components, 2))
    }
    END { flush() }
  ' "${files[@]}" | sed 's/[ \t]*$//' | sort -u
}

mkdir -p "$deps"
src="$deps/src"

# minizip comes from Debian's source package of the same name: fetched with a
# deb-src list of our own, made from the machine's apt sources, with apt state
# of its own, so the machine's apt configuration is left alone.
if [ ! -d "$deps/minizip-src" ]; then
  mkdir -p "$src/lists/partial" "$src/archives/partial"
  debian_source_lines > "$src/sources.list"
  if [ ! -s "$src/sources.list" ]; then
    echo "setup: the apt sources name no Debian archive for the minizip source" >&2
    exit 1
  fi
  apt_src=(-o "Dir::Etc::sourcelist=$src/sources.list" -o Dir::Etc::sourceparts=-
           -o "Dir::State::Lists=$src/lists" -o "Dir::Cache::Archives=$src/archives"
           -o APT::Get::List-Cleanup=0)
  apt-get "${apt_src[@]}" update -q
  (cd "$src" && apt-get "${apt_src[@]}" source --download-only minizip)
  # Unpacked with Debian's own patches (security fixes among them) applied,
  # once the uploader's signature checks out against the Debian keyring (apt has
  # already matched the files against the signed archive index).
  dsc=$(ls "$src"/minizip_*.dsc | sort -V | tail -n 1)
  rm -rf "$src/tree"
  dpkg-source --require-valid-signature -x "$dsc" "$src/tree" >/dev/null
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
