#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages needed to build, run and test KVQ_Nyra.
# Run time: a font with Chinese characters for the default texts, Qt's own
# translations for its buttons and dialogs, xdg-open for the manual and log.
# Tests: aiosmtpd as a real SMTP server for the mail client; a PostgreSQL server
# for the serial-number store; xdotool, x11-utils and
# ImageMagick for the end-to-end run of the window; dpkg-dev, lintian, desktop-file-utils
# and appstream to build and check the Debian package.
set -euo pipefail
packages=(cmake make g++ clang pkg-config ccache
          qt6-base-dev qt6-multimedia-dev libusb-dev libusb-0.1-4 libudev-dev
          libsqlite3-dev libpq-dev postgresql
          libgtest-dev libgmock-dev python3 python3-aiosmtpd sox xvfb xauth
          xdotool x11-utils imagemagick dpkg-dev lintian desktop-file-utils appstream
          fonts-wqy-microhei qt6-translations-l10n xdg-utils)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y "${missing[@]}"
