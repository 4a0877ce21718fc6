#!/usr/bin/env bash
# Export speed beside its anchor: a one-minute three-camera recording (made once by the
# simulator at the recorder's bit rates) exported whole at 1920 x 1080 in the side layout, with
# the overlay and the sound, by `qelv export` and by ffmpeg doing the same job on the same files
# (the three cameras scaled into the same places, a drawtext clock, libx264 ultrafast at
# 10 Mbit/s with a key picture every 60, AAC sound). Runs alternate; each figure is the median.
# Goals on a two-core machine: >= 1.5x real time, and no longer than ffmpeg.
# usage: bench/export_bench.sh [QELV] [DIR] [RUNS]  (RUNS of each, default 3)
set -euo pipefail
qelv="${1:-build/release/bin/qelv}"
root="${2:-/tmp/qelv-export-bench}"
runs="${3:-3}"
if [ ! -f "$root/NOR/FRONT/20240131_120000_3CH_N_F.mp4" ]; then
    "$qelv" demo-card "$root" --recordings 1 --seconds 60 --channels 3 --categories N >/dev/null
fi
front="$root/NOR/FRONT/20240131_120000_3CH_N_F.mp4"
rear="$root/NOR/REAR/20240131_120000_3CH_N_R1.mp4"
third="$root/NOR/REAR/20240131_120000_3CH_N_R2.mp4"
font=/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

wall() {  # command...: prints its wall-clock seconds
    local start end
    start=$(date +%s.%N)
    "$@" >"$out/stdout" 2>"$out/stderr" || { cat "$out/stderr" >&2; exit 1; }
    end=$(date +%s.%N)
    python3 -c "import sys; print(f'{float(sys.argv[2]) - float(sys.argv[1]):.2f}')" "$start" "$end"
}
# The side layout at 1920 x 1080: the front in two thirds of the width at (0, 180), the rear
# and the third stacked beside it.
ffmpeg_export() {
    ffmpeg -v error -y -t 59.9 -i "$front" -t 59.9 -i "$rear" -t 59.9 -i "$third" -filter_complex \
        "color=black:s=1920x1080:r=30[bg];[0:v]scale=1280:720[f];[1:v]scale=640:360[r];[2:v]scale=640:360[t];\
[bg][f]overlay=0:180:shortest=1[a];[a][r]overlay=1280:180[b];[b][t]overlay=1280:540,\
drawtext=fontfile=$font:text='%{pts\\:hms}':x=20:y=1040:fontsize=28:fontcolor=white[v]" \
        -map "[v]" -map 0:a -r 30 -c:v libx264 -preset ultrafast -b:v 10M -g 60 -c:a aac -b:a 128k \
        "$out/ffmpeg.mp4"
}
ours_export() {
    "$qelv" export "$front" --from 0 --to 59.9 --layout side --out "$out/qelv.mp4"
}
ff=() us=()
for _ in $(seq 1 "$runs"); do
    ff+=("$(wall ffmpeg_export)")
    us+=("$(wall ours_export)")
    cp "$out/stdout" "$out/qelv.json"
done
python3 - "$out/qelv.json" "${ff[*]}" "${us[*]}" <<'PY'
import json, statistics, sys
d = json.load(open(sys.argv[1]))
ff = statistics.median(map(float, sys.argv[2].split()))
us = statistics.median(map(float, sys.argv[3].split()))
print(f"export, three cameras, 1920x1080 side, {d['duration']:.1f} s of clip, {d['frames']} frames: "
      f"ffmpeg {ff:.1f} s, qelv export {us:.1f} s ({us / ff:.2f}x ffmpeg's time; goal <= 1.00), "
      f"{d['duration'] / us:.2f}x real time (goal >= 1.5x); runs ffmpeg {sys.argv[2]}, ours {sys.argv[3]}")
PY
