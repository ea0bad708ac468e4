#!/usr/bin/env bash
# Builds the pure core, ombrix-decode, ombrix-sim and their unit tests for the Raspberry Pi with
# Debian's cross compilers, armhf (Raspberry Pi OS 32-bit) and arm64 side by side, runs the tests
# under qemu-user, and checks that both put out byte for byte what the x86-64 build does: the
# decoder's tables, reports and error records over the built-in set and the fuzz corpus, and the
# simulator's bursts with their decoding.
#   tools/cross.sh [NATIVE_BUILD [ARM_PREFIX]]
# NATIVE_BUILD (default build) gives the x86-64 ombrix-decode and ombrix-sim; the ARM builds go to
# ARM_PREFIX-armhf and ARM_PREFIX-arm64 (default build-armhf and build-arm64).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
native=${1:-build}
prefix=${2:-build}
arches=(armhf arm64)
declare -A emulator=(
  [native]=""
  [armhf]="qemu-arm -L /usr/arm-linux-gnueabihf"
  [arm64]="qemu-aarch64 -L /usr/aarch64-linux-gnu"
)
tools/setup.sh
work=$(mktemp -d)
trap 'jobs -p | xargs -r kill 2>/dev/null || true; rm -rf "$work"' EXIT

# Runs a command in the background, its output in $work/NAME.log.
pids=()
background() {
  local name=$1
  shift
  "$@" >"$work/$name.log" 2>&1 &
  pids+=("$!:$name")
}
# Waits for them; shows the log of each that failed and fails then.
await() {
  local failed=0 entry
  for entry in "${pids[@]}"; do
    wait "${entry%%:*}" && continue
    failed=1
    echo "--- ${entry#*:} failed:" >&2
    tail -n 200 "$work/${entry#*:}.log" >&2
  done
  pids=()
  return "$failed"
}

# -O2 as the default build type compiles, without its debug information, which only costs time
# here. Not -O1: GCC fuses multiply-adds on arm64 from -O2 on (the weather model has dozens), and
# a quicker -O1 build would hide the very rounding differences the comparison is there to find.
build_arm() {
  local arch=$1 dir=$prefix-$1
  [ -f "$dir/CMakeCache.txt" ] ||
    cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/$arch.cmake" -DOMBRIX_CORE_ONLY=ON \
      -DOMBRIX_WERROR=ON -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG"
  cmake --build "$dir" -j "$(nproc)"
}
[ -f "$native/CMakeCache.txt" ] || cmake -S . -B "$native" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
background native cmake --build "$native" -j "$(nproc)" --target ombrix-decode ombrix-sim
for arch in "${arches[@]}"; do background "$arch" build_arm "$arch"; done
await

# Both suites side by side: under qemu they mostly wait for the simulator's paced bursts.
for arch in "${arches[@]}"; do
  background "test-$arch" ctest --test-dir "$prefix-$arch" --output-on-failure -j "$(nproc)" \
    --timeout 300
done
await
for arch in "${arches[@]}"; do echo "$arch:" && tail -n 3 "$work/test-$arch.log"; done

bin() { if [ "$1" = native ]; then echo "$native/bin"; else echo "$prefix-$1/bin"; fi; }
# 40 simulators side by side, each on a pseudo-terminal pair of its own whose other side socat
# writes to a file, send 5 bursts each: 200 sets of weather from January to March.
simulate() {
  local arch=$1 out=$work/$1 sim seed
  sim=$(realpath "$(bin "$1")/ombrix-sim")
  mkdir -p "$out"
  for seed in $(seq 10 49); do
    (
      cd "$out"
      # -T: an interrupted run leaves no socat behind for longer than a minute.
      socat -u -T 60 pty,raw,echo=0,link="line$seed" "OPEN:bursts$seed,creat,trunc" &
      socat=$!
      for _ in $(seq 200); do [ -e "line$seed" ] && break; sleep 0.05; done
      ${emulator[$arch]} "$sim" --device "line$seed" --interval 2 --count 5 --seed "$seed" \
        --speed 100000 --start "2024-0$((seed % 3 + 1))-0$((seed % 9 + 1)) 0$((seed % 10)):00" \
        >"sim$seed.out" 2>&1 || echo "ombrix-sim failed: $?" >>"sim$seed.out"
      kill "$socat" 2>/dev/null || true
      split -b 141 -d -a 1 "bursts$seed" "set$seed-"
    ) &
  done
  wait
  cat "$out"/sim*.out >"$out/sim.out"
  cat "$out"/bursts* >"$out/bursts"
}
# Every set decoded in order by one decoder, with either decimal separator.
decode() {
  local arch=$1 out=$work/$1 decoder sep
  decoder=$(realpath "$(bin "$1")/ombrix-decode")
  cd "$out"
  for sep in . ,; do
    ${emulator[$arch]} "$decoder" --clock 2024-06-01T12:00:00 --decimal-separator "$sep" \
      --test-set "$root"/fuzz/corpus/decode/* "$root"/tests/core/data/* set* \
      >"decode$sep.out" 2>"decode$sep.err" || echo "ombrix-decode failed: $?" >>"decode$sep.err"
  done
}
for arch in native "${arches[@]}"; do background "sim-$arch" simulate "$arch"; done
await
for arch in native "${arches[@]}"; do background "decode-$arch" decode "$arch"; done
await

bursts=$(($(stat -c %s "$work/native/bursts") / 141))
[ "$bursts" -eq 200 ] || { echo "cross: $bursts simulated bursts instead of 200" >&2; exit 1; }
failed=0
for arch in "${arches[@]}"; do
  for f in sim.out bursts decode..out decode..err decode,.out decode,.err; do
    cmp "$work/native/$f" "$work/$arch/$f" || failed=1
  done
done
[ "$failed" -eq 0 ] || { echo "cross: ARM output differs from x86-64" >&2; exit 1; }
echo "cross: armhf and arm64 put out what x86-64 does, byte for byte: $bursts simulated bursts," \
  "$(grep -c '^# ' "$work/native/decode..out") sets decoded"
