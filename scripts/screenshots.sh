#!/usr/bin/env bash
# Takes the pictures of the software-centre listing with the window tests and
# puts them into packaging/screenshots/, the pictures the AppStream metadata
# names (the web site publishes that folder). Run it after changing the look.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh build
shots=$(mktemp -d)
trap 'rm -rf "$shots"' EXIT
QT_QPA_PLATFORM=offscreen OV_SCREENSHOT_DIR="$shots" build/tests/ui_tests --gtest_filter='ListingPictures.*'
mkdir -p packaging/screenshots
cp "$shots"/listing/*.png packaging/screenshots/
ls -l packaging/screenshots
