#!/usr/bin/env bash
# Records telegram sets from the station simulator as seeds of the decoder's fuzz corpus:
#   fuzz/make_sim_seeds.sh SIM_BINARY [SEED]
# The simulator sends on one end of a socat pseudo-terminal pair; the bytes from the other end
# are cut into its bursts by their lengths (a set 141, a doubled set 282, a short one 120), with
# every day of weather passing in 100 bursts so that rain, wind and frost all turn up.
set -euo pipefail
sim=$1
seed=${2:-7}
out=$(cd "$(dirname "$0")" && pwd)/corpus/decode
work=$(mktemp -d)
trap 'kill "$socat" 2>/dev/null || true; rm -rf "$work"' EXIT

socat -u pty,raw,echo=0,link="$work/line" "OPEN:$work/capture,creat,trunc" &
socat=$!
for _ in $(seq 100); do [ -e "$work/line" ] && break; sleep 0.05; done

"$sim" --device "$work/line" --interval 2 --count 16 --seed "$seed" --speed 8640 \
  --start "2024-02-01 05:00" --fault bad-checksum:3 --fault double:5 --fault short:7 \
  > "$work/bursts"
sleep 0.5

offset=0
while read -r number kind _; do
  case $number in [0-9]*) ;; *) continue ;; esac
  case $kind in
    *double*) length=282 ;;
    *short*) length=120 ;;
    *) length=141 ;;
  esac
  tail -c +$((offset + 1)) "$work/capture" | head -c "$length" > "$out/sim-$seed-$number-$kind"
  offset=$((offset + length))
done < "$work/bursts"
[ "$offset" -eq "$(stat -c %s "$work/capture")" ] || { echo "capture and bursts differ" >&2; exit 1; }
echo "$(grep -c "^[0-9]" "$work/bursts") seeds in $out"
