#!/usr/bin/env bash
# Installs what building, running and testing need on Debian 12 (as root, or
# through sudo). Installs only what is missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config git openssl ca-certificates clang-format
  qt6-base-dev qt6-declarative-dev qt6-declarative-dev-tools
  qml6-module-qtqml qml6-module-qtquick qml6-module-qtquick-controls qml6-module-qtquick-layouts
  qml6-module-qtquick-window qml6-module-qtquick-templates qml6-module-qtqml-workerscript
  qml6-module-qttest qml6-module-qt5compat-graphicaleffects qt6-qpa-plugins
  qt6-httpserver-dev qt6-websockets-dev
  nlohmann-json3-dev libgtest-dev libgmock-dev
  fonts-material-design-icons-iconfont fonts-dejavu-core
  xvfb xauth libgl1-mesa-dri xdotool
  dnsutils
  procps util-linux
  espeak-ng pulseaudio-utils alsa-utils dbus-daemon
  nftables iproute2 pkexec polkitd libxml2-utils
  dpkg-dev fakeroot lintian
  libqt6sql6-sqlite libsodium-dev
  libqt6sql6-psql libpq-dev postgresql-15
  chromium chromium-driver python3-selenium
  nghttp2-client libssl-dev haproxy
  clang-14 libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
echo "Installing: ${missing[*]}"
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
