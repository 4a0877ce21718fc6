#!/usr/bin/env bash
# Playback beside its anchor, ffmpeg decoding the same three files (1080p + 720p + 720p, the
# simulator's one-minute recording) and the front file's sound, as the viewer does, in the same
# run: each figure is the median of 3 runs, ours and ffmpeg's alternating.
#  1.0x: CPU (share of one core) of `ffmpeg -re` against `qelv play` (the engine, no window).
#  2.0x: ffmpeg's `-readrate 2` against `qelv play --rate 2`: CPU, and frames lost per camera.
#  2.0x with one core busy (a spinning process of the benchmark's own beside it): the same.
#  With VIEWER_BIN (the directory of qelv-viewer): the viewer painting all three panes under
#  Xvfb (bench/viewer_play_bench.sh), a 15 s window at 1.0x and then 2.0x, against ffmpeg
#  decoding 15 s at each rate, alternating.
# usage: bench/anchor_bench.sh [QELV] [DIR] [SECONDS] [VIEWER_BIN]
#   SECONDS of the recording (default 60)
set -euo pipefail
qelv="${1:-build/release/bin/qelv}"
root="${2:-/tmp/qelv-play-bench}"
seconds="${3:-60}"
viewer_bin="${4:-}"
if [ ! -f "$root/NOR/FRONT/20240131_120000_3CH_N_F.mp4" ]; then
    "$qelv" demo-card "$root" --recordings 1 --seconds 60 --channels 3 --categories N >/dev/null
fi
files=("$root/NOR/FRONT/20240131_120000_3CH_N_F.mp4" "$root/NOR/REAR/20240131_120000_3CH_N_R1.mp4"
       "$root/NOR/REAR/20240131_120000_3CH_N_R2.mp4")
out=$(mktemp -d)
spinner=""
trap '[ -n "$spinner" ] && kill "$spinner" 2>/dev/null; rm -rf "$out"' EXIT

# Runs a command under /usr/bin/time; prints "cpu% wall" and keeps its standard output.
timed() {
    local name=$1
    shift
    /usr/bin/time -f "%U %S %e" -o "$out/time" "$@" >"$out/$name.out" 2>/dev/null || true
    read -r user system wall <"$out/time"
    python3 -c "import sys; u, s, w = map(float, sys.argv[1:]); print(f'{100 * (u + s) / w:.1f} {w:.1f}')" \
        "$user" "$system" "$wall"
}
ffmpeg_run() {  # RATE
    local inputs=()
    for f in "${files[@]}"; do
        if [ "$1" = 1 ]; then inputs+=(-re -t "$seconds" -i "$f"); else inputs+=(-readrate "$1" -t "$seconds" -i "$f"); fi
    done
    timed ffmpeg ffmpeg -v error -threads 0 "${inputs[@]}" -map 0:v -map 0:a -map 1:v -map 2:v -f null -
}
ours_run() {  # RATE
    timed qelv "$qelv" play --rate "$1" --seconds "$(python3 -c "print($seconds / $1 + 0.5)")" "${files[@]}"
}
# Median of three alternating runs of both; prints one line.
compare() {  # LABEL RATE
    local ff=() us=() lost=()
    for _ in 1 2 3; do
        ff+=("$(ffmpeg_run "$2")")
        us+=("$(ours_run "$2")")
        lost+=("$(python3 -c "import json; d = json.load(open('$out/qelv.out')); print(*d['lost'], *d['due'], d['decoder'])")")
    done
    python3 - "$1" "${ff[@]}" "${us[@]}" "${lost[@]}" <<'PY'
import statistics, sys
label, rest = sys.argv[1], sys.argv[2:]
ff = [float(x.split()[0]) for x in rest[0:3]]
us = [float(x.split()[0]) for x in rest[3:6]]
lost = [x.split() for x in rest[6:9]]
med = statistics.median
cams = " / ".join(f"{med(int(l[k]) for l in lost):.0f} of {med(int(l[k + 3]) for l in lost):.0f}" for k in range(3))
print(f"{label}: ffmpeg {med(ff):.0f}% of a core, qelv play {med(us):.0f}% "
      f"({med(us) / med(ff):.2f}x ffmpeg); lost front / rear / third {cams}; decoder {lost[0][6]}")
PY
}
compare "1.0x" 1
compare "2.0x" 2
if [ -n "$viewer_bin" ]; then
    here=$(dirname "$0")
    window=15
    saved=$seconds
    for k in 1 2 3; do
        seconds=$window
        ffmpeg_run 1 >"$out/ff1.$k"
        seconds=$((2 * window))
        ffmpeg_run 2 >"$out/ff2.$k"
        "$here/viewer_play_bench.sh" "$viewer_bin" "$root" "$window" >"$out/viewer.$k"
    done
    seconds=$saved
    python3 - "$out" <<'PY'
import re, statistics, sys
out = sys.argv[1]
med = statistics.median
ff1 = med(float(open(f"{out}/ff1.{k}").read().split()[0]) for k in (1, 2, 3))
ff2 = med(float(open(f"{out}/ff2.{k}").read().split()[0]) for k in (1, 2, 3))
cpu, lost = [[], []], [[0, 0, 0] for _ in (1, 2, 3)]
for k in (1, 2, 3):
    text = open(f"{out}/viewer.{k}").read()
    cpu[0].append(float(re.findall(r"CPU (\d+)%", text)[0]))
    cpu[1].append(float(re.findall(r"CPU (\d+)%", text)[1]))
    fast = text.split("2.0x:", 1)[1]
    lost[k - 1] = [int(n) for n in re.findall(r"(\d+) lost", fast)]
    due = [int(n) for n in re.findall(r"(\d+) frames due", fast)]
cams = " / ".join(f"{med(l[c] for l in lost):.0f} of {due[c]}" for c in range(3))
print(f"viewer 1.0x: ffmpeg {ff1:.0f}% of a core, qelv-viewer {med(cpu[0]):.0f}% "
      f"({med(cpu[0]) / ff1:.2f}x ffmpeg)")
print(f"viewer 2.0x: ffmpeg {ff2:.0f}%, qelv-viewer {med(cpu[1]):.0f}% "
      f"({med(cpu[1]) / ff2:.2f}x ffmpeg); lost front / rear / third {cams}")
PY
fi
python3 -c "while True: pass" &
spinner=$!
compare "2.0x, one core busy" 2
