#!/usr/bin/env bash
# Builds both hosts and packs the release archive:
# build/release/UmberdeepSafeMode-VERSION-windows.zip. Two runs from one commit
# give the same bytes.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh build
scripts/build.sh windows-x64 windows-x86
cpack --config build/windows-x64/CPackConfig.cmake
