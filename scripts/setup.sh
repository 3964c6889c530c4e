#!/usr/bin/env bash
# Installs every Debian package the two builds and the tests need, and builds libpng for mingw-w64
# once into build/deps. Safe to run again: a second run only checks.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
deps="$root/build/deps"

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev pkg-config
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 libz-mingw-w64-dev
  wine wine64 xvfb x11-utils xauth imagemagick fonts-liberation
  libpng-dev zlib1g-dev libgtest-dev googletest libssl-dev
  python3-pil dpkg-dev chromium
  python3 nsis
)
# Node.js drives the browser test; the machine may bring its own, else Debian's.
command -v npm >/dev/null 2>&1 || packages+=(nodejs npm)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

sudo_() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

have_deb_src() { grep -rqsE '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/; }

if [ ${#missing[@]} -gt 0 ] || { [ ! -f "$deps/lib/libpng16.a" ] && ! have_deb_src; }; then
  if ! have_deb_src; then
    # The Windows build takes libpng from Debian's source package: add source entries for the
    # archive that is already configured.
    src=/etc/apt/sources.list.d/tastovolant-src.sources
    uri=$(grep -rhoE '^URIs: *\S+' /etc/apt/sources.list.d/debian.sources 2>/dev/null | head -n1 | awk '{print $2}')
    uri=${uri:-http://deb.debian.org/debian}
    suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
    printf 'Types: deb-src\nURIs: %s\nSuites: %s\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
      "$uri" "$suite" | sudo_ tee "$src" >/dev/null
  fi
  echo "setup: installing ${missing[*]:-(source lists only)}"
  sudo_ apt-get update -qq
  [ ${#missing[@]} -gt 0 ] && DEBIAN_FRONTEND=noninteractive sudo_ apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# libpng for mingw-w64, static, from Debian's source package.
if [ ! -f "$deps/lib/libpng16.a" ]; then
  echo "setup: building libpng for mingw-w64 into build/deps"
  work="$root/build/deps-src"
  rm -rf "$work"; mkdir -p "$work" "$deps"
  (cd "$work" && apt-get source -qq --download-only libpng1.6 >/dev/null 2>&1 && dpkg-source -x --no-check libpng1.6_*.dsc src >/dev/null)
  cmake -S "$work/src" -B "$work/build" -G Ninja \
    -DCMAKE_SYSTEM_NAME=Windows -DCMAKE_C_COMPILER=x86_64-w64-mingw32-gcc-posix \
    -DCMAKE_RC_COMPILER=x86_64-w64-mingw32-windres \
    -DCMAKE_FIND_ROOT_PATH=/usr/x86_64-w64-mingw32 -DCMAKE_FIND_ROOT_PATH_MODE_LIBRARY=ONLY \
    -DCMAKE_FIND_ROOT_PATH_MODE_INCLUDE=ONLY -DCMAKE_BUILD_TYPE=Release \
    -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF -DPNG_TOOLS=OFF \
    -DCMAKE_INSTALL_PREFIX="$deps" >/dev/null
  cmake --build "$work/build" >/dev/null
  cmake --install "$work/build" >/dev/null
  rm -rf "$work"
fi

# The browser test's driver (playwright-core, which uses Debian's Chromium; no browser download).
if [ ! -d "$root/tests/browser/node_modules/playwright-core" ]; then
  echo "setup: installing the browser test's npm packages"
  (cd "$root/tests/browser" && npm ci --no-audit --no-fund >/dev/null)
fi
