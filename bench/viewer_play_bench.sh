#!/usr/bin/env bash
# The viewer itself playing a one-minute three-camera recording under Xvfb, at 1.0x and at 2.0x:
# pictures painted per pane per second, frames due (shown + lost) and lost per channel, and the
# viewer process's CPU (share of one core, from /proc/PID/stat) over a measured window.
# usage: bench/viewer_play_bench.sh [BIN_DIR] [DIR] [WINDOW_SECONDS] [--2x-only]
#   --2x-only  goes to 2.0x at once and measures one window there (27 s: nearly the whole
#              minute of the recording)
#   BIN_DIR  the programs (default build/release/bin)
#   DIR      the card, made once by the simulator (default /tmp/qelv-play-bench, as play_bench.sh)
set -euo pipefail
bin="${1:-build/release/bin}"
root="${2:-/tmp/qelv-play-bench}"
window="${3:-10}"
only_fast="${4:-}"
if [ ! -f "$root/NOR/FRONT/20240131_120000_3CH_N_F.mp4" ]; then
    "$bin/qelv" demo-card "$root" --recordings 1 --seconds 60 --channels 3 --categories N >/dev/null
fi

work=$(mktemp -d)
viewer=""
cleanup() {
    [ -n "$viewer" ] && kill "$viewer" 2>/dev/null || true
    kill "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

exec 3<> >(:)
Xvfb -displayfd 3 -screen 0 1600x900x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
read -r -u 3 display
export DISPLAY=":$display" XDG_RUNTIME_DIR="$work/runtime" HOME="$work/home"
export XDG_CONFIG_HOME="$HOME/.config" ASAN_OPTIONS=detect_leaks=0
[ "$(id -u)" = 0 ] && export QTWEBENGINE_DISABLE_SANDBOX=1  # the map's browser refuses root otherwise
mkdir -m 700 -p "$XDG_RUNTIME_DIR" "$HOME"
unset QT_QPA_PLATFORM WAYLAND_DISPLAY

"$bin/qelv-viewer" --source "$root" >"$work/viewer.log" 2>&1 &
viewer=$!

python3 - "$bin" "$viewer" "$window" "$only_fast" <<'PY'
import json, os, subprocess, sys, time

bin_dir, pid, window = sys.argv[1], int(sys.argv[2]), float(sys.argv[3])
only_fast = sys.argv[4] == "--2x-only"
ticks = os.sysconf("SC_CLK_TCK")


def state():
    run = subprocess.run([os.path.join(bin_dir, "qelv-viewer"), "--state"], capture_output=True,
                         text=True, timeout=30)
    return json.loads(run.stdout) if run.returncode == 0 and run.stdout else None


def wait(check, timeout, what):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        s = state()
        if s and check(s):
            return s
        time.sleep(0.2)
    sys.exit(f"viewer_play_bench: {what} within {timeout} s")


def cpu_seconds():
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / ticks  # utime and stime


def thread_seconds():
    """CPU seconds per thread of the viewer, by thread id: (name, seconds)."""
    threads = {}
    for tid in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{tid}/stat") as stat:
                text = stat.read()
        except OSError:
            continue
        fields = text.rsplit(")", 1)[1].split()
        threads[tid] = (text[text.index("(") + 1:text.rindex(")")],
                        (int(fields[11]) + int(fields[12])) / ticks)
    return threads


def xdotool(*args):
    subprocess.run(["xdotool", *args], check=True, capture_output=True, timeout=20)


def measure(label):
    before, cpu0, wall0 = state()["player"], cpu_seconds(), time.monotonic()
    threads0 = thread_seconds()
    time.sleep(window)
    after, cpu1, wall1 = state()["player"], cpu_seconds(), time.monotonic()
    threads1 = thread_seconds()
    if after["state"] != 0 or after["row"] != before["row"]:
        sys.exit(f"viewer_play_bench: playback ended within the {label} window")
    wall = wall1 - wall0
    painted = [(b - a) / wall for a, b in zip(before["painted"], after["painted"])]
    shown = [b - a for a, b in zip(before["shown"], after["shown"])]
    lost = [b - a for a, b in zip(before["lost"], after["lost"])]
    advance = (after["positionMs"] - before["positionMs"]) / 1000 / wall
    print(f"{label}: {wall:.1f} s window, position {advance:.2f} s per second")
    print(f"  painted per pane: " + ", ".join(f"{p:.1f}/s" for p in painted))
    for k, name in enumerate(("front", "rear", "third")):
        print(f"  {name}: {shown[k] + lost[k]} frames due, {lost[k]} lost")
    busiest = sorted(((seconds - threads0.get(tid, (name, 0))[1], name)
                      for tid, (name, seconds) in threads1.items()), reverse=True)[:4]
    print("  busiest threads: " + ", ".join(f"{name} {100 * used / wall:.0f}%"
                                            for used, name in busiest))
    return sum(lost), 100 * (cpu1 - cpu0) / wall


shown = wait(lambda s: s["visible"] and s["rows"], 60, "the viewer did not show the card")
files = next(p for p in shown["panes"] if p["key"] == 139)
# The first row of the File List sits about 60 px below the pane's top.
xdotool("mousemove", "--sync", str(files["x"] + files["width"] // 2), str(files["y"] + 60),
        "click", "--repeat", "2", "--delay", "80", "1", "mousemove", "--sync", "0", "0")
wait(lambda s: s["player"]["state"] == 0 and min(s["player"]["painted"]) > 0, 60,
     "the recording did not play")
print(f"viewer {os.path.realpath(os.path.join(bin_dir, 'qelv-viewer'))}, {os.cpu_count()} cores, "
      f"load {os.getloadavg()[0]:.1f}")
if not only_fast:
    time.sleep(2)  # past the start
    _, cpu_normal = measure("1.0x")
    print(f"  CPU {cpu_normal:.0f}% of one core (goal < 60%)")

main = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^QELV Viewer$"],
                      capture_output=True, text=True).stdout.split()[0]
xdotool("windowfocus", "--sync", main, "key", "--delay", "50", "bracketright", "bracketright",
        "bracketright", "bracketright")
wait(lambda s: s["player"]["rate"] == "x2.0", 30, "the rate did not reach x2.0")
time.sleep(1)  # past the change of rate
lost_fast, cpu_fast = measure("2.0x")
print(f"  CPU {cpu_fast:.0f}% of one core; {lost_fast} frames lost (goal: none)")
PY
