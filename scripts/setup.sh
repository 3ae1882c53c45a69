#!/usr/bin/env bash
# Installs the Debian 12 packages the project needs, only those still missing.
# Both README commands and CI run this first.
set -euo pipefail

PACKAGES=(
  # build
  build-essential cmake ninja-build pkg-config
  # windows, dialogs, clipboard, D-Bus
  qt6-base-dev qt6-base-dev-tools libgl-dev fonts-dejavu-core
  # the window as a native Wayland client, and a compositor to test it under
  qt6-wayland weston
  # media engine (FFmpeg 5.1) and the CLI tools tests use as fixtures and judge
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libswresample-dev libavfilter-dev libavdevice-dev
  ffmpeg
  # HTTP, patterns, script engine, sounds, PNG, JSON (yt-dlp's lines, test judges)
  libcurl4-openssl-dev libpcre2-dev duktape-dev libcanberra-dev libpng-dev nlohmann-json3-dev
  # SHA-256 of yt-dlp's release file (libcrypto)
  libssl-dev
  # the second download engine, for today's video sites (python3, below, runs
  # the current release the application keeps in the user's data folder).
  # Debian 12 ships no JavaScript runtime that yt-dlp accepts (its nodejs is
  # 18; yt-dlp wants Deno 2, Node 20 or later, QuickJS or Bun): see the README.
  yt-dlp
  # tests
  libgtest-dev libgmock-dev python3 xvfb xauth dbus-daemon curl openssl
  # fuzzing (libFuzzer)
  clang-14 libclang-rt-14-dev
  # resource artwork and sounds
  imagemagick sox
  # manual pages (and the window's help made from one), the Debian package and its checks
  scdoc mandoc dpkg-dev lintian desktop-file-utils appstream
  # the function-length check of the test script
  universal-ctags
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
