#!/usr/bin/env bash
# Installs what building and testing need, when it is missing (Debian, as root).
# usage: scripts/deps.sh [build|run|test]
set -euo pipefail
need=${1:-test}

packages=(cmake make g++ g++-mingw-w64-x86-64 g++-mingw-w64-i686 libgtest-dev)
commands=(cmake make g++ x86_64-w64-mingw32-g++ i686-w64-mingw32-g++)
if [ "$need" != build ]; then
    packages+=(wine wine64 tmux)
    commands+=(wine tmux)
fi
if [ "$need" = test ]; then
    packages+=(wine32:i386 xvfb xdotool x11-apps imagemagick clang libclang-rt-14-dev)
    commands+=(Xvfb xdotool xwd convert clang)
fi

missing=0
for c in "${commands[@]}"; do command -v "$c" >/dev/null 2>&1 || missing=1; done
[ -f /usr/include/gtest/gtest.h ] || missing=1
if [ "$need" = test ]; then
    dpkg -s wine32:i386 >/dev/null 2>&1 || missing=1
    ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1 || missing=1
fi
[ "$missing" = 0 ] && exit 0

if [ "$(id -u)" != 0 ]; then
    echo "deps: missing packages; run as root or install: ${packages[*]}" >&2
    exit 1
fi
echo "deps: installing ${packages[*]}" >&2
if [ "$need" != build ]; then
    dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -q >&2
apt-get install -y -q "${packages[@]}" >&2
