#!/usr/bin/env bash
# Sets up, builds and starts Orvane Video Joiner.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build
exec build/bin/orvane-video-joiner "$@"
