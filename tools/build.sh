#!/usr/bin/env bash
# Configures and builds Ombrix into build/ (or the folder given as $1, with extra CMake options
# after it). Executables land in <folder>/bin.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
shift || true
# A new folder gets the default build type; an existing one keeps what it was configured with.
defaults=()
[ -f "$dir/CMakeCache.txt" ] || defaults=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
cmake -S . -B "$dir" "${defaults[@]}" "$@" >/dev/null
cmake --build "$dir" -j "$(nproc)"
