#!/usr/bin/env bash
# Listing speed on a card of 20,000 recording files.
#  1. Single-category listing (`qelv scan --filter normal`) against `find` over the same tree;
#     the files are empty, only their names count.
#  2. All-categories listing of complete recordings (simulator files, hard-linked under
#     20,000 names): the index check it runs on every file, per file.
# usage: bench/scan_bench.sh [QELV] [DIR]   (defaults: build/release/bin/qelv, a temporary dir)
set -euo pipefail
qelv="${1:-build/release/bin/qelv}"
root="${2:-$(mktemp -d /tmp/qelv-scan-bench.XXXXXX)}"
files=20000
runs=15

median_ms() {  # runs "$@" $runs times, prints the median wall time in ms
    local times=()
    for _ in $(seq "$runs"); do
        local start end
        start=$(date +%s%N)
        "$@" >/dev/null 2>&1
        end=$(date +%s%N)
        times+=($(((end - start) / 1000)))
    done
    printf '%s\n' "${times[@]}" | sort -n | awk -v n="$runs" 'NR == int(n / 2) + 1 { printf "%.2f", $1 / 1000 }'
}

make_names() {  # DIR LINK_FRONT LINK_REAR: 20,000 names, or empty files when no link is given
    python3 - "$@" <<'PY'
import os, sys
root = sys.argv[1]
front = sys.argv[2] if len(sys.argv) > 2 else None
rear = sys.argv[3] if len(sys.argv) > 3 else None
folders = {"N": "NOR", "E": "EVT", "P": "MOT", "U": "USR"}
count = 0
minute = 0
while count < 20000:
    letter = "NEPU"[minute % 4]
    day, rest = divmod(minute, 24 * 60)
    name = "202401%02d_%02d%02d00_2CH_%s" % (1 + day % 28, rest // 60, rest % 60, letter)
    for camera, link in (("F", front), ("R1", rear)):
        folder = os.path.join(root, folders[letter], "FRONT" if camera == "F" else "REAR")
        os.makedirs(folder, exist_ok=True)
        path = os.path.join(folder, "%s_%s.mp4" % (name, camera))
        if link:
            os.link(link, path)
        else:
            open(path, "w").close()
        count += 1
    minute += 1
PY
}

if [ ! -d "$root/names/NOR" ]; then
    make_names "$root/names"
fi
find "$root/names" >/dev/null
scan=$(median_ms "$qelv" scan --drive "$root/names" --filter normal)
findms=$(median_ms find "$root/names")
echo "single-category listing of $files files: qelv scan ${scan} ms, find ${findms} ms," \
     "ratio $(awk -v a="$scan" -v b="$findms" 'BEGIN { printf "%.2f", a / b }') (goal <= 1.5)"

if [ ! -d "$root/complete/NOR" ]; then
    "$qelv" demo-card "$root/sample" --recordings 1 --seconds 2 --scale 0.2 >/dev/null
    make_names "$root/complete" "$(find "$root/sample" -name '*_F.mp4')" \
        "$(find "$root/sample" -name '*_R1.mp4')"
fi
"$qelv" scan --drive "$root/complete" --filter all >/dev/null
all=$(median_ms "$qelv" scan --drive "$root/complete" --filter all)
echo "all-categories listing of $files complete files: ${all} ms," \
     "$(awk -v a="$all" -v n="$files" 'BEGIN { printf "%.4f", a / n }') ms a file (goal < 0.2)"
