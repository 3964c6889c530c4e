#!/usr/bin/env bash
# Builds the release: Tastovolant.exe for the maker's real site (the release preset), then, in
# build/release/, the zip, the installer and the update manifest (packaging/make_release.py):
#   Tastovolant-<version>/              the release folder: the program, GFX/, the read-mes
#   Tastovolant-<version>-win64.zip     that folder, zipped
#   Tastovolant-<version>-setup.exe     the installer
#   Tastovolant-<version>-update.txt    what the update server answers at /update.php?p=Tastovolant
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
version=$(sed -n 's/^project(Tastovolant VERSION \([0-9][0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "release: no version in CMakeLists.txt" >&2; exit 1; }
# Only the program: the tests run in the windows preset, against the loopback site.
cmake --preset release -DBUILD_TESTING=OFF >/dev/null
cmake --build --preset release --target Tastovolant
/usr/bin/python3 packaging/make_release.py build/release/bin build/release "$version"
