#!/usr/bin/env bash
# Brings every Debian package that the build, the demo and the tests need.
# Idempotent: when everything is installed it does nothing at all.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config git
  libgtest-dev googletest libbenchmark-dev
  libpugixml-dev libcurl4-openssl-dev libicu-dev
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev
  7zip p7zip-full rar
  apache2 apache2-utils ca-certificates cron
  libxml2-utils python3 groff-base
  xdg-utils xvfb xauth fonts-dejavu-core
  dpkg-dev file
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive

$SUDO apt-get update -qq

# rar lives in Debian's non-free component, which a fresh machine often lacks.
if ! apt-cache policy rar 2>/dev/null | grep -q 'Candidate: [0-9]'; then
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    $SUDO sed -i -E '/^Components:/{/non-free( |$)/!s/$/ contrib non-free/}' /etc/apt/sources.list.d/debian.sources
  else
    codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
    echo "deb http://deb.debian.org/debian $codename main contrib non-free" |
      $SUDO tee /etc/apt/sources.list.d/vardobk-non-free.list >/dev/null
  fi
  $SUDO apt-get update -qq
fi

$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
