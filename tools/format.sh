#!/usr/bin/env bash
# Formats the tracked C++ files with clang-format 14 and the .clang-format at the top;
# with --check, changes nothing and fails on the first file that is not formatted.
set -euo pipefail
cd "$(dirname "$0")/.."
mode=(-i)
[ "${1:-}" = --check ] && mode=(--dry-run --Werror)
git ls-files -z -- '*.h' '*.cpp' | xargs -0 clang-format-14 "${mode[@]}"
