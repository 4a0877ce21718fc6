#!/usr/bin/env bash
# Start-up of the viewer to its first painted main window, warm cache, under Xvfb.
# usage: bench/startup_bench.sh [BIN_DIR] [RUNS]
# Prints the time the viewer reports from process start to first paint, and the wall time of
# the whole run (start, first paint, close, exit) for each run, then the medians.
set -euo pipefail
bin=${1:-build/release/bin}
runs=${2:-10}
work=$(mktemp -d)
trap 'kill "$xvfb" 2>/dev/null || true; rm -rf "$work"' EXIT

exec 3<> >(:)
Xvfb -displayfd 3 -screen 0 1600x900x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
read -r -u 3 display
export DISPLAY=":$display" XDG_RUNTIME_DIR="$work/runtime" HOME="$work/home"
mkdir -m 700 -p "$XDG_RUNTIME_DIR" "$HOME"
unset QT_QPA_PLATFORM WAYLAND_DISPLAY

"$bin/qelv-viewer" --exit-after-first-paint >/dev/null  # warm the caches once
paint=()
wall=()
for _ in $(seq "$runs"); do
    start=$(date +%s%N)
    line=$("$bin/qelv-viewer" --exit-after-first-paint)
    end=$(date +%s%N)
    paint+=("$(echo "$line" | awk '{print $3}')")
    wall+=("$(((end - start) / 1000000))")
done
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
echo "first paint after process start (ms): ${paint[*]}"
echo "whole run, start to exit (ms):         ${wall[*]}"
echo "median first paint: $(median "${paint[@]}") ms; median whole run: $(median "${wall[@]}") ms"
