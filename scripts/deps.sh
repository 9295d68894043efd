#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the bench need, when any is missing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  qt6-base-dev qt6-base-private-dev libgl-dev qt6-charts-dev libqt6opengl6-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-liberation unrtf xvfb xauth
  dpkg-dev help2man lintian man-db desktop-file-utils appstream bash-completion
  sigrok-cli socat mount clang-format graphviz
  libsqlite3-dev libpq-dev uuid-dev nlohmann-json3-dev libcpp-httplib-dev libicu-dev
  postgresql jq libxml2-utils python3
  poppler-utils chromium
  clang-14 libclang-rt-14-dev devscripts ccache
  orca at-spi2-core dbus gir1.2-atspi-2.0 python3-gi
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
