#!/usr/bin/env bash
# Export speed: a one-minute three-camera recording (made once by the simulator at the
# recorder's bit rates) exported whole at 1920 x 1080 in the side layout, with the overlay
# and the sound, as a multiple of real time. Goal on a two-core machine: >= 1.5x.
# usage: bench/export_bench.sh [QELV] [DIR]
set -euo pipefail
qelv="${1:-build/release/bin/qelv}"
root="${2:-/tmp/qelv-export-bench}"
if [ ! -f "$root/NOR/FRONT/20240131_120000_3CH_N_F.mp4" ]; then
    "$qelv" demo-card "$root" --recordings 1 --seconds 60 --channels 3 --categories N >/dev/null
fi
front="$root/NOR/FRONT/20240131_120000_3CH_N_F.mp4"
json=$("$qelv" export "$front" --from 0 --to 59.9 --layout side --out "$root/clip.mp4" 2>/dev/null)
python3 - "$json" <<'PY'
import json, sys
d = json.loads(sys.argv[1])
speed = d["duration"] / d["wallSeconds"]
print(f"export, three cameras, 1920x1080 side: {d['duration']:.1f} s of clip in "
      f"{d['wallSeconds']:.1f} s, {speed:.2f}x real time (goal >= 1.5x), {d['frames']} frames")
PY
rm -f "$root/clip.mp4"
