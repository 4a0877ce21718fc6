#!/usr/bin/env bash
# Finding incidents: how well `qelv events` finds what the recorder simulator planted, and how
# fast it reads a large card.
#  1. A card of 200 one-minute recordings (the last 20 unfinished: no index), three planted
#     incidents each (hard braking, impacts, swerves) in drives with a real drive's noise (GPS
#     speed jitter, dropouts, one position jump a recording, now and then a speed no car has,
#     road bumps, sensor noise): recall and precision against the simulator's plan. An
#     incident counts as found when one of its kind is listed for its recording within 1 s of
#     it. Goal: recall >= 0.97, precision >= 0.95.
#  2. A card of 50 quiet drives with the same noise: the incidents listed (goal: none).
#  3. A card of 1,000 one-minute two-camera recordings: `qelv events` on the warm card (goal
#     < 1.5 s), `qelv trips` on it (goal < 1 s), and `qelv events` on a cold one (page cache
#     dropped before each run, which needs root) against `cat` of the front files, the files
#     that hold the telemetry (goal < 2x).
# Medians of wall time over the runs, taken in turns. Cards are kept in DIR for the next run.
# usage: bench/events_bench.sh [QELV] [DIR]   (defaults: build/bench/bin/qelv, a temporary dir)
set -euo pipefail
qelv="${1:-build/bench/bin/qelv}"
root="${2:-$(mktemp -d /tmp/qelv-events-bench.XXXXXX)}"
warm_runs=11
cold_runs=5

# card NAME RECORDINGS INCIDENTS CHANNELS SEED UNFINISHED: a card and its plan, made once; the
# last UNFINISHED recordings have no index (read through the sample walk).
card() {
    if [ ! -e "$root/$1.done" ]; then
        rm -rf "${root:?}/$1" "$root/$1.plan"
        echo "making the card $1 ($2 recordings)..." >&2
        "$qelv" demo-card "$root/$1" --recordings "$2" --seconds 60 --channels "$4" \
            --scale 0.01 --incidents "$3" --plan "$root/$1.plan" --seed "$5" \
            --unfinished "$6" --same-pictures >/dev/null
        touch "$root/$1.done"
    fi
}

# score PLAN FOUND: "RECALL PRECISION PLANTED LISTED MISSED_BY_KIND"
score() {
    python3 - "$1" "$2" <<'PY'
import collections, json, os, sys
planted = [json.loads(l) for l in open(sys.argv[1]) if l.strip()]
listed = [json.loads(l) for l in open(sys.argv[2]) if l.strip()]
unused = collections.defaultdict(list)
for i, e in enumerate(listed):
    unused[(os.path.basename(e["file"]), e["kind"])].append(i)
matched, missed = set(), collections.Counter()
for p in planted:
    key = (os.path.basename(p["file"]), p["kind"])
    near = [i for i in unused[key] if i not in matched
            and abs(listed[i]["offsetMs"] - p["offsetMs"]) <= 1000]
    if near:
        matched.add(min(near, key=lambda i: abs(listed[i]["offsetMs"] - p["offsetMs"])))
    else:
        missed[p["kind"]] += 1
recall = len(matched) / len(planted) if planted else 1.0
precision = len(matched) / len(listed) if listed else 1.0
print("%.3f %.3f %d %d %s" % (recall, precision, len(planted), len(listed),
      ",".join("%s:%d" % kv for kv in sorted(missed.items())) or "none"))
PY
}

# measure RUNS COLD -- COMMAND... [-- COMMAND...]: median wall ms of each command, run in
# turns; COLD=1 drops the page cache before every run.
measure() {
    python3 - "$@" <<'PY'
import os, statistics, subprocess, sys, time
runs, cold = int(sys.argv[1]), sys.argv[2] == "1"
commands, current = [], None
for word in sys.argv[3:]:
    if word == "--":
        current = []
        commands.append(current)
    else:
        current.append(word)
quiet = open(os.devnull, "w")
wall = [[] for _ in commands]
for _ in range(runs):
    for i, command in enumerate(commands):
        if cold:
            os.sync()
            with open("/proc/sys/vm/drop_caches", "w") as caches:
                caches.write("3\n")
        start = time.perf_counter()
        subprocess.run(command, stdout=quiet, stderr=quiet, check=True)
        wall[i].append((time.perf_counter() - start) * 1000)
print(" ".join("%.1f" % statistics.median(w) for w in wall))
PY
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

missed=()
# goal NAME VALUE OP LIMIT: notes a goal the figures missed.
goal() {
    if ! awk -v v="$2" -v l="$4" -v op="$3" 'BEGIN { exit !(op == ">=" ? v >= l : \
            op == "<" ? v < l : v == l) }'; then
        missed+=("$1")
    fi
}

card planted 200 3 1 11 20
"$qelv" events "$root/planted" >"$root/planted.found"
read -r recall precision planted listed missed_kinds < <(score "$root/planted.plan" "$root/planted.found")
echo "planted incidents: $planted in 200 recordings (20 unfinished), $listed listed: recall $recall" \
     "(goal >= 0.97), precision $precision (goal >= 0.95); missed: $missed_kinds"
goal recall "$recall" ">=" 0.97
goal precision "$precision" ">=" 0.95

card quiet 50 0 1 12 5
quiet=$("$qelv" events "$root/quiet" | wc -l)
echo "quiet drives with noise: $quiet incidents listed in 50 recordings (5 unfinished; goal 0)"
goal "quiet drives" "$quiet" "==" 0

card large 1000 3 2 13 0
cat_fronts="$root/cat-fronts.sh"
printf '#!/bin/sh\nfind "$1" -name "*_F.mp4" -print0 | xargs -0 cat\n' >"$cat_fronts"
chmod +x "$cat_fronts"
front_mb=$(find "$root/large" -name '*_F.mp4' -printf '%s\n' |
           awk '{ s += $1 } END { printf "%.0f", s / 1048576 }')
card_mb=$(du -sm "$root/large" | cut -f1)
"$qelv" events "$root/large" >/dev/null
read -r warm < <(measure "$warm_runs" 0 -- "$qelv" events "$root/large")
echo "1,000 recordings ($card_mb MB, $front_mb MB of front files): qelv events warm ${warm} ms" \
     "(goal < 1500)"
goal "warm time" "$warm" "<" 1500
"$qelv" trips "$root/large" >"$root/large.trips"
read -r trips_warm < <(measure "$warm_runs" 0 -- "$qelv" trips "$root/large")
echo "qelv trips on the same card: $(wc -l <"$root/large.trips") trips, warm ${trips_warm} ms" \
     "(goal < 1000)"
goal "trips warm time" "$trips_warm" "<" 1000
if [ -w /proc/sys/vm/drop_caches ]; then
    read -r cold catms < <(measure "$cold_runs" 1 -- "$qelv" events "$root/large" \
        -- "$cat_fronts" "$root/large")
    echo "cold: qelv events ${cold} ms, cat of the front files ${catms} ms," \
         "ratio $(ratio "$cold" "$catms") (goal < 2)"
    goal "cold time" "$(ratio "$cold" "$catms")" "<" 2
else
    echo "cold: not measured (the page cache can be dropped only by root)"
fi
if [ ${#missed[@]} -gt 0 ]; then
    echo "goals missed: ${missed[*]}"
    exit 1
fi
echo "every goal met"
