#!/usr/bin/env bash
# Telemetry extraction against ffprobe listing the telemetry stream's packets with their data,
# on the same files in the same run: a 1 GB recording with 3600 records spread through it and
# a 20-second demo recording. Prints time and bytes read for both, and the ratios.
#   bench/telemetry_vs_ffprobe.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${1:-build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

ffmpeg -nostdin -y -loglevel error -f lavfi -i testsrc=duration=20:size=640x360:rate=25 \
  -f lavfi -i sine=duration=20 -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac \
  -brand avc1 "$work/clip.mp4"
python3 - "$work/telemetry.txt" <<'PY'
import sys
with open(sys.argv[1], "w") as f:
    for i in range(3600):
        f.write("%d %d %d 256 0 9 $GNRMC,%02d%02d%02d.000,A,3733.9780,N,12658.6740,E,30.0,90.0,031024,,,A*6A\\r\\n\n"
                % (1727943300 + i // 5, i % 300, -(i % 200), i // 3600, i // 60 % 60, i % 60))
PY
"$BUILD_DIR/tools/daxo-make-recording" "$work/clip.mp4" "$work/large_F.mp4" \
  --telemetry "$work/telemetry.txt" --large 1073741824 >/dev/null
"$BUILD_DIR/tools/daxo-make-demo-card" "$work/card" >/dev/null
demo=$work/card/alwa_20241003_081500_F.MP4

# ffprobe: wall time and the bytes it read (its /proc/PID/io, sampled until it exits).
probe() {
  python3 - "$1" <<'PY'
import subprocess, sys, time
runs, best, rchar = 5, None, 0
for _ in range(runs):
    start = time.perf_counter()
    p = subprocess.Popen(["ffprobe", "-v", "error", "-select_streams", "s", "-show_packets",
                          "-show_data", sys.argv[1]], stdout=subprocess.DEVNULL)
    last = 0
    while p.poll() is None:
        try:
            with open("/proc/%d/io" % p.pid) as io:
                for line in io:
                    if line.startswith("rchar:"):
                        last = int(line.split()[1])
        except OSError:
            pass
        time.sleep(0.0005)
    elapsed = (time.perf_counter() - start) * 1000
    best = elapsed if best is None else min(best, elapsed)
    rchar = max(rchar, last)
print("%.3f %d" % (best, rchar))
PY
}

json=$("$BUILD_DIR/bench/bench_telemetry" --file=large:"$work/large_F.mp4" --file=demo:"$demo" \
  --benchmark_format=json --benchmark_min_time=1 2>/dev/null)
for name in large demo; do
  file=$work/large_F.mp4; [ "$name" = demo ] && file=$demo
  read -r probe_ms probe_bytes < <(probe "$file")
  printf '%s' "$json" | python3 -c '
import json, sys
name, probe_ms, probe_bytes, size = sys.argv[1], float(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
b = next(x for x in json.load(sys.stdin)["benchmarks"] if x["name"].endswith("/" + name))
ms = b["real_time"] * {"ns": 1e-6, "us": 1e-3, "ms": 1, "s": 1e3}[b["time_unit"]]
must = int(b["walk_bytes"])
print("%s: %d bytes on disk, %d records" % (name, size, b["records"]))
print("  walk:    %9.3f ms, %9d bytes read (%d counted by the walk)" % (ms, b["bytes_read"], must))
print("  ffprobe: %9.3f ms, %9d bytes read" % (probe_ms, probe_bytes))
print("  ffprobe / walk time: %.1fx" % (probe_ms / ms))
' "$name" "$probe_ms" "$probe_bytes" "$(stat -c %s "$file")"
done
