#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the simulator need, when missing.
set -euo pipefail

packages=(cmake ninja-build g++ clang libclang-rt-14-dev llvm qt6-base-dev libgtest-dev
          libbenchmark-dev libmodbus-dev pkg-config gettext mbpoll xvfb xauth util-linux
          qt6-translations-l10n fonts-dejavu-core imagemagick xdotool)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
as_root=()
[ "$(id -u)" -ne 0 ] && as_root=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
