#!/usr/bin/env bash
# Installs what is missing, checks the formatting, builds Ombrix with warnings as errors and runs
# the whole test suite (the long runs labelled "soak" are tools/soak.sh's), then runs it once more
# in a build with AddressSanitizer and UndefinedBehaviorSanitizer, builds and runs the core for the
# Raspberry Pi under qemu, and runs each fuzz target for 30 seconds as a regression check
# (OMBRIX_SKIP_SANITIZERS=1, OMBRIX_SKIP_CROSS=1 and OMBRIX_SKIP_FUZZ=1 skip those).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
tools/format.sh --check
tools/build.sh build -DOMBRIX_WERROR=ON
(cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$(nproc)" --timeout 300 -LE soak)
if [ "${OMBRIX_SKIP_SANITIZERS:-0}" != 1 ]; then
  # -O1 with line tables only: the sanitizers' usual level, and a much quicker build than -O2 -g.
  tools/build.sh build-asan -DOMBRIX_WERROR=ON -DOMBRIX_SANITIZE=ON -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_CXX_FLAGS_RELEASE="-O1 -g1"
  (cd build-asan && QT_QPA_PLATFORM=offscreen \
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
    LSAN_OPTIONS="suppressions=$PWD/../tools/lsan.supp" \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --output-on-failure -j "$(nproc)" --timeout 600 -LE soak)
fi
if [ "${OMBRIX_SKIP_CROSS:-0}" != 1 ]; then
  # The core and its tests built for the Raspberry Pi (armhf, arm64) and run under qemu-user, their
  # output compared with this build's byte for byte (OMBRIX_SKIP_CROSS=1 skips it).
  tools/cross.sh build
fi
if [ "${OMBRIX_SKIP_FUZZ:-0}" != 1 ]; then
  tools/fuzz.sh 30
fi
