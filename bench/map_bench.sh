#!/usr/bin/env bash
# The map pane at start, under Xvfb: how long after the viewer's start the tile server check
# answers (a tile server on this machine), and how long the check takes to give up on an
# address that does not answer. Both are read through the state query, which the main window
# answers meanwhile; the page itself loads either way.
# usage: bench/map_bench.sh [BIN_DIR] [RUNS]
set -euo pipefail
bin=${1:-build/release/bin}
runs=${2:-5}
work=$(mktemp -d)
tiles=""
trap 'kill "$xvfb" ${tiles:+"$tiles"} 2>/dev/null || true; rm -rf "$work"' EXIT

exec 3<> >(:)
Xvfb -displayfd 3 -screen 0 1600x900x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
read -r -u 3 display
export DISPLAY=":$display" XDG_RUNTIME_DIR="$work/runtime" HOME="$work/home"
export QTWEBENGINE_DISABLE_SANDBOX=1 ASAN_OPTIONS=detect_leaks=0:new_delete_type_mismatch=0
mkdir -m 700 -p "$XDG_RUNTIME_DIR" "$HOME/.config/Local application"
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
profile="$HOME/.config/Local application/QELV Viewer.conf"

python3 -m http.server --bind 127.0.0.1 0 --directory "$work" >"$work/tiles.log" 2>&1 &
tiles=$!
port=""
for _ in $(seq 100); do
    port=$(ss -ltnp 2>/dev/null | awk -v pid="pid=$tiles," '$0 ~ pid {split($4, a, ":"); print a[2]}')
    [ -n "$port" ] && break
    sleep 0.05
done

now_ms() { echo $(($(date +%s%N) / 1000000)); }
# Starts the viewer with `url` as its tile address; prints the ms from start until the map's
# check answered, and the answer.
measure() {
    printf '[Map]\nTileUrl=%s\n' "$1" >"$profile"
    local start answer=""
    start=$(now_ms)
    "$bin/qelv-viewer" >/dev/null 2>&1 &
    local viewer=$!
    for _ in $(seq 600); do
        answer=$("$bin/qelv-viewer" --state 2>/dev/null |
            python3 -c 'import json,sys; print(json.load(sys.stdin)["map"]["online"])' \
            2>/dev/null || true)
        [ "$answer" = 0 ] || [ "$answer" = 1 ] && break
        sleep 0.05
    done
    echo "$(($(now_ms) - start)) $answer"
    kill "$viewer"
    wait "$viewer" 2>/dev/null || true
}

loaded=()
silent=()
for _ in $(seq "$runs"); do
    loaded+=("$(measure "http://127.0.0.1:$port/{z}/{x}/{y}.png")")
    # A documentation address (TEST-NET-1): nothing answers; the check waits out its limit, or
    # fails at once on a machine without a route there.
    silent+=("$(measure "http://192.0.2.1:81/{z}/{x}/{y}.png")")
done
echo "start to check answered, local tile server (ms, answer):  ${loaded[*]}"
echo "start to check given up, silent address (ms, answer):  ${silent[*]}"
