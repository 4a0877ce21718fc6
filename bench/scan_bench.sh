#!/usr/bin/env bash
# Listing speed on a card of 20,000 recording files.
#  1. Single-category listing (`qelv scan --filter normal`) against `find` over the same tree;
#     the files are empty, only their names count. Prints the medians of wall time and of CPU
#     time (user + system, steadier on a shared machine) and their ratios to find.
#  2. All-categories listing of complete recordings (simulator files, hard-linked under
#     20,000 names): the index check it runs on every file, per file.
# usage: bench/scan_bench.sh [QELV] [DIR]   (defaults: build/release/bin/qelv, a temporary dir)
set -euo pipefail
qelv="${1:-build/release/bin/qelv}"
root="${2:-$(mktemp -d /tmp/qelv-scan-bench.XXXXXX)}"
files=20000
runs=21

# measure RUNS -- COMMAND... [-- COMMAND...]: runs the commands in turn RUNS times (taking
# turns, so that a change in the machine's load falls on all of them) and prints, per command,
# the medians "WALL_MS CPU_MS" (CPU: user + system of the command).
measure() {
    python3 - "$@" <<'PY'
import os, statistics, sys, time
runs = int(sys.argv[1])
commands, current = [], None
for word in sys.argv[2:]:
    if word == "--":
        current = []
        commands.append(current)
    else:
        current.append(word)
quiet = os.open(os.devnull, os.O_WRONLY)
wall = [[] for _ in commands]
cpu = [[] for _ in commands]
for _ in range(runs):
    for i, command in enumerate(commands):
        start = time.perf_counter()
        pid = os.fork()
        if pid == 0:
            os.dup2(quiet, 1)
            os.dup2(quiet, 2)
            os.execvp(command[0], command)
        _, _, usage = os.wait4(pid, 0)
        wall[i].append((time.perf_counter() - start) * 1000)
        cpu[i].append((usage.ru_utime + usage.ru_stime) * 1000)
print(" ".join("%.2f %.2f" % (statistics.median(w), statistics.median(c))
               for w, c in zip(wall, cpu)))
PY
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

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
read -r scan scancpu findms findcpu < <(measure "$runs" -- "$qelv" scan --drive "$root/names" \
    --filter normal -- find "$root/names")
echo "single-category listing of $files files: qelv scan ${scan} ms, find ${findms} ms," \
     "ratio to find $(ratio "$scan" "$findms") (goal <= 1.5);" \
     "CPU time ${scancpu} ms against ${findcpu} ms, ratio $(ratio "$scancpu" "$findcpu")"

if [ ! -d "$root/complete/NOR" ]; then
    "$qelv" demo-card "$root/sample" --recordings 1 --seconds 2 --scale 0.2 >/dev/null
    make_names "$root/complete" "$(find "$root/sample" -name '*_F.mp4')" \
        "$(find "$root/sample" -name '*_R1.mp4')"
fi
"$qelv" scan --drive "$root/complete" --filter all >/dev/null
read -r all _ < <(measure "$runs" -- "$qelv" scan --drive "$root/complete" --filter all)
echo "all-categories listing of $files complete files: ${all} ms," \
     "$(awk -v a="$all" -v n="$files" 'BEGIN { printf "%.4f", a / n }') ms a file (goal < 0.2)"
