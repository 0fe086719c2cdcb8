#!/usr/bin/env bash
# Builds both Windows hosts with their modules, and the native unit tests.
# usage: scripts/build.sh [preset ...]   (default: windows-x64 windows-x86 native)
set -euo pipefail
cd "$(dirname "$0")/.."
presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(windows-x64 windows-x86 native)
for preset in "${presets[@]}"; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$(nproc)"
done
