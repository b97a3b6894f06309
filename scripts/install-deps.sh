#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the simulator need, when missing.
set -euo pipefail

packages=(cmake ninja-build g++ clang libclang-rt-14-dev llvm qt6-base-dev libgtest-dev
          libbenchmark-dev libmodbus-dev pkg-config gettext mbpoll xvfb xauth util-linux
          qt6-translations-l10n libqt6sql6-sqlite qt6-charts-dev libqt6opengl6-dev fonts-dejavu-core
          imagemagick xdotool x11-utils locales dpkg-dev lintian desktop-file-utils python3-pymodbus strace tzdata
          libmosquitto-dev libssl-dev mosquitto mosquitto-clients openssl systemd ccache
          qt6-httpserver-dev qt6-websockets-dev chromium chromium-driver python3-selenium python3-paho-mqtt)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$' || missing+=("$p")
done
as_root=()
[ "$(id -u)" -ne 0 ] && as_root=(sudo)
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  "${as_root[@]}" apt-get update -qq
  "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The operator's locale: tests run under it where numbers, dates and messages show.
if ! locale -a 2>/dev/null | grep -qix 'ru_RU.utf8'; then
  echo "Generating the locale ru_RU.UTF-8"
  "${as_root[@]}" localedef -i ru_RU -f UTF-8 ru_RU.UTF-8
fi
