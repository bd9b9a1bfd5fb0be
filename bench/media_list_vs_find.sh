#!/usr/bin/env bash
# The media list's walk, sort and pairing against `find DIR -iname '*.mp4'` on the same folder
# of 15000 recordings, in the same run, warm cache. Prints both and their ratio.
#   bench/media_list_vs_find.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${1:-build}
BENCH=$BUILD_DIR/bench/bench_media_list
[ -x "$BENCH" ] || { echo "build first: scripts/build" >&2; exit 1; }

card=$(mktemp -d)
trap 'rm -rf "$card"' EXIT
# The same layout the benchmark makes by itself: four folders, front and rear per group.
python3 - "$card" <<'PY'
import os, sys
root = sys.argv[1]
folders = ["Normal", "Event", "Motion", "Parking"]
for f in folders:
    os.mkdir(os.path.join(root, f))
prefix = ["alwa", "event", "motion"]
for i in range(15000):
    group = i // 2
    kind = 1 if group % 17 == 0 else 2 if group % 11 == 0 else 0
    name = "%s_202405%02d_%02d%02d00_%s.MP4" % (prefix[kind], 1 + group // 1440 % 28,
                                                group // 60 % 24, group % 60, "R" if i % 2 else "F")
    open(os.path.join(root, folders[kind], name), "w").close()
PY

find "$card" -iname '*.mp4' >/dev/null # warm the cache
runs=50
start=$(date +%s%N)
for _ in $(seq $runs); do find "$card" -iname '*.mp4' >/dev/null; done
find_ms=$(( ($(date +%s%N) - start) / runs / 1000 ))

json=$("$BENCH" --folder="$card" --benchmark_format=json 2>/dev/null)
list_us=$(printf '%s' "$json" | python3 -c 'import json,sys; b=json.load(sys.stdin)["benchmarks"][0]; t=b["real_time"]; u=b["time_unit"]; print(int(t*{"ns":1e-3,"us":1,"ms":1e3,"s":1e6}[u]))')
records=$(printf '%s' "$json" | python3 -c 'import json,sys; print(int(json.load(sys.stdin)["benchmarks"][0]["records"]))')

echo "records listed:               $records"
echo "find -iname '*.mp4' (µs/run): $find_ms"
echo "media list build (µs/run):    $list_us"
python3 -c "print('ratio list/find:              %.2f' % ($list_us / $find_ms))"
