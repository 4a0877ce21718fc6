#!/usr/bin/env bash
# Playback figures on a one-minute three-camera recording (made once by the simulator):
#  1. decode throughput of all channels without the clock, against ffmpeg decoding the same
#     three files (`ffmpeg -benchmark ... -f null -`);
#  2. frames due, shown and lost (dropped late by a decoder or a sink) per channel when the
#     recording plays at 2.0x on the clock;
#  3. CPU used while it plays at 1.0x (share of one core).
# usage: bench/play_bench.sh [QELV] [DIR]
set -euo pipefail
qelv="${1:-build/release/bin/qelv}"
root="${2:-/tmp/qelv-play-bench}"
if [ ! -f "$root/NOR/FRONT/20240131_120000_3CH_N_F.mp4" ]; then
    "$qelv" demo-card "$root" --recordings 1 --seconds 60 --channels 3 --categories N >/dev/null
fi
front="$root/NOR/FRONT/20240131_120000_3CH_N_F.mp4"
rear="$root/NOR/REAR/20240131_120000_3CH_N_R1.mp4"
third="$root/NOR/REAR/20240131_120000_3CH_N_R2.mp4"

json=$("$qelv" play --no-sync "$front" "$rear" "$third")
frames=$(python3 -c "import json,sys; d=json.loads(sys.argv[1]); print(sum(d['shown']))" "$json")
wall=$(python3 -c "import json,sys; print(json.loads(sys.argv[1])['wallMs'])" "$json")
start=$(date +%s%N)
ffmpeg -v error -threads 0 -i "$front" -i "$rear" -i "$third" -map 0:v -map 1:v -map 2:v -f null - 
end=$(date +%s%N)
ffms=$(((end - start) / 1000000))
python3 - "$frames" "$wall" "$ffms" <<'PY'
import sys
frames, wall, ff = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3])
ours, theirs = frames / (wall / 1000), 5400 / (ff / 1000)
print(f"decode, three channels, no clock: {ours:.0f} frames/s; ffmpeg {theirs:.0f} frames/s; ratio {ours / theirs:.2f} (goal >= 0.8)")
PY

json=$("$qelv" play --rate 2 "$front" "$rear" "$third")
python3 - "$json" <<'PY'
import json, sys
d = json.loads(sys.argv[1])
for k, name in enumerate(("front", "rear", "third")):
    print(f"2.0x on the clock, {name}: {d['due'][k]} frames due, {d['shown'][k]} shown, "
          f"{d['lost'][k]} lost")
PY

cpu=$( { /usr/bin/time -f "%U %S %e" "$qelv" play --seconds 20 "$front" "$rear" "$third" >/dev/null; } 2>&1 | tail -1)
python3 - $cpu <<'PY'
import sys
user, system, wall = map(float, sys.argv[1:4])
print(f"1.0x on the clock: {100 * (user + system) / wall:.0f}% of one core (goal < 50%)")
PY
