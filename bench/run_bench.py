#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Every comparison of the viewer with a peer tool, on the same input in the same run, both
sides alternating, medians reported; writes bench/RESULTS.md and prints it.

    bench/run_bench.py BUILD_DIR
    DAXO_BENCH_ONLY=import_card bench/run_bench.py BUILD_DIR   one section, its rows replaced in
                                                               the results of the last full run
"""
import json
import os
import platform
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

BUILD = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
RUNS = 7
rows = []  # (what, ours, peer, ratio, target, met)


def run_timed(args, **kw):
    """Wall time of a process in ms, and the bytes it read (rchar of /proc/PID/io)."""
    start = time.perf_counter()
    p = subprocess.Popen(args, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, **kw)
    rchar = 0
    while p.poll() is None:
        try:
            with open("/proc/%d/io" % p.pid) as io:
                for line in io:
                    if line.startswith("rchar:"):
                        rchar = int(line.split()[1])
        except OSError:
            pass
        time.sleep(0.0005)
    return (time.perf_counter() - start) * 1000, rchar


def alternate(commands, runs=RUNS):
    """Runs each named command in turn, `runs` rounds; median wall time and largest bytes read."""
    times = {name: [] for name in commands}
    reads = {name: 0 for name in commands}
    for _ in range(runs):
        for name, args in commands.items():
            ms, rchar = run_timed(args)
            times[name].append(ms)
            reads[name] = max(reads[name], rchar)
    return {name: statistics.median(t) for name, t in times.items()}, reads


def make_clip(path, seconds, size="640x360"):
    subprocess.run(["ffmpeg", "-nostdin", "-y", "-loglevel", "error", "-f", "lavfi", "-i",
                    "testsrc=duration=%d:size=%s:rate=25" % (seconds, size), "-f", "lavfi", "-i",
                    "sine=duration=%d" % seconds, "-c:v", "libx264", "-preset", "veryfast", "-pix_fmt",
                    "yuv420p", "-c:a", "aac", "-brand", "avc1", path], check=True)


def telemetry(work):
    clip = os.path.join(work, "clip.mp4")
    make_clip(clip, 20)
    text = os.path.join(work, "telemetry.txt")
    with open(text, "w") as f:
        for i in range(3600):
            f.write("%d %d %d 256 0 9 $GNRMC,%02d%02d%02d.000,A,3733.9780,N,12658.6740,E,30.0,90.0,031024,,,A*6A\\r\\n\n"
                    % (1727943300 + i, i % 300, -(i % 200), i // 3600, i // 60 % 60, i % 60))
    large = os.path.join(work, "hour_F.mp4")
    subprocess.run([os.path.join(BUILD, "tools/daxo-make-recording"), clip, large, "--telemetry", text,
                    "--large", str(1 << 30)], check=True, stdout=subprocess.DEVNULL)
    commands = {
        "ours": [os.path.join(BUILD, "tools/daxo-telemetry"), large],
        "ffprobe": ["ffprobe", "-v", "error", "-select_streams", "s", "-show_packets", "-show_data", large],
        "exiftool": ["exiftool", "-ee", large],
    }
    times, reads = alternate(commands, runs=5)
    # the bytes the walk itself counts, against what the records and the boxes on its path hold
    out = subprocess.run([os.path.join(BUILD, "bench/bench_telemetry"), "--file=large:" + large,
                          "--benchmark_format=json", "--benchmark_min_time=0.2"],
                         capture_output=True, text=True, check=True).stdout
    b = json.loads(out)["benchmarks"][0]
    records_bytes = 3600 * 155
    read = int(b["bytes_read"])
    for peer in ("ffprobe", "exiftool"):
        ratio = times[peer] / times["ours"]
        rows.append(("Telemetry of a 1-hour recording (1 GiB, 3600 records), whole process, vs %s" % peer,
                     "%.1f ms, %.2f MB read" % (times["ours"], reads["ours"] / 1e6),
                     "%.1f ms, %.2f MB read" % (times[peer], reads[peer] / 1e6),
                     "%.0f× faster" % ratio, "≥ 50× faster than ffprobe" if peer == "ffprobe" else "(for reference)",
                     ratio >= 50 if peer == "ffprobe" else None))
    rows.append(("Bytes the walk reads of that recording", "%d B" % read,
                 "records %d B + boxes on the path" % records_bytes, "%.3f× the records" % (read / records_bytes),
                 "≤ 1.1× the records' bytes plus the headers", read <= 1.1 * records_bytes + 64 * 1024))


def card_list(work):
    card = os.path.join(work, "card")
    folders = ["Normal", "Event", "Motion", "Parking"]
    for f in folders:
        os.makedirs(os.path.join(card, f))
    prefix = ["alwa", "event", "motion"]
    for i in range(15000):
        group = i // 2
        kind = 1 if group % 17 == 0 else 2 if group % 11 == 0 else 0
        name = "%s_202405%02d_%02d%02d00_%s.MP4" % (prefix[kind], 1 + group // 1440 % 28, group // 60 % 24,
                                                    group % 60, "R" if i % 2 else "F")
        open(os.path.join(card, folders[kind], name), "w").close()

    def ours_ms():
        out = subprocess.run([os.path.join(BUILD, "bench/bench_media_list"), "--folder=" + card,
                              "--benchmark_format=json", "--benchmark_min_time=0.05"],
                             capture_output=True, text=True, check=True).stdout
        b = json.loads(out)["benchmarks"][0]
        return b["real_time"] * {"ns": 1e-6, "us": 1e-3, "ms": 1, "s": 1e3}[b["time_unit"]]

    find = ["find", card, "-iname", "*.mp4"]
    warm_ours, warm_find = [], []
    for _ in range(RUNS):
        warm_ours.append(ours_ms())
        warm_find.append(run_timed(find)[0])
    o, f = statistics.median(warm_ours), statistics.median(warm_find)
    rows.append(("15 000-file card, warm cache: list build vs `find -iname '*.mp4'`", "%.1f ms" % o, "%.1f ms" % f,
                 "%.2f×" % (o / f), "≤ 1× find warm", o <= f))
    try:
        cold_ours, cold_find = [], []
        for _ in range(3):
            for side, sink in ((ours_ms, cold_ours), (lambda: run_timed(find)[0], cold_find)):
                subprocess.run(["sync"])
                with open("/proc/sys/vm/drop_caches", "w") as d:
                    d.write("3\n")
                sink.append(side())
        o, f = statistics.median(cold_ours), statistics.median(cold_find)
        rows.append(("Same card, cold cache", "%.1f ms" % o, "%.1f ms" % f, "%.2f×" % (o / f), "(for reference)", None))
    except OSError as e:
        rows.append(("Same card, cold cache", "—", "—", "—", "not measurable here: %s" % e.strerror, None))


class SlowCard:
    """The card folder served through the slow reader (1 ms a read, 40 MB/s, one read at a
    time); each mount starts with nothing cached. The backing files stay in memory: the reader
    is the device, and the disk under it must not add its own time."""

    def __init__(self, card, work):
        self.card, self.mount, self.stats = card, os.path.join(work, "reader"), os.path.join(work, "reader.stats")
        os.makedirs(self.mount, exist_ok=True)

    def __enter__(self):
        self.process = subprocess.Popen([os.path.join(BUILD, "bench/slowfs"), self.card, self.mount, "--delay-us", "1000",
                                         "--mbps", "40", "--stats", self.stats], stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        for _ in range(100):
            if os.path.ismount(self.mount):
                break
            time.sleep(0.05)
        return self

    def __exit__(self, *error):
        subprocess.run(["fusermount3", "-u", self.mount], check=False)
        self.process.wait(timeout=30)
        with open(self.stats) as f:
            self.reads, self.bytes = (int(line.split()[1]) for line in f)


def card_scale(work, groups=1000):
    """A card of `groups` one-minute pairs (4K-sized fronts with telemetry, 1080p-sized rears,
    sparse) opened in the viewer through the slow reader: cold with no index, then again."""
    results = {}
    for rate in (60, 300):
        card = os.path.join(work, "card%d" % rate)
        subprocess.run([os.path.join(BUILD, "bench/make_card"), card, "--groups", str(groups), "--rate", str(rate)],
                       check=True, stdout=subprocess.DEVNULL)
        index = os.path.join(work, "index%d.sqlite" % rate)
        runs = {}
        for name in ("cold", "again"):
            with SlowCard(card, work) as reader:
                env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
                out = subprocess.run([os.path.join(BUILD, "bench/measure_card"), reader.mount, index],
                                     capture_output=True, text=True, env=env, check=True).stdout.split()
            runs[name] = [int(x) for x in out] + [reader.reads, reader.bytes]
        with SlowCard(card, work) as reader:
            ls_ms = run_timed(["ls", "-l", reader.mount])[0]
        with SlowCard(card, work) as reader:
            env = dict(os.environ, XDG_CACHE_HOME=os.path.join(work, "cli-cache"))
            os.makedirs(os.path.join(work, "cli-cache", "daxo-viewer"), exist_ok=True)
            shutil.copy(index, os.path.join(work, "cli-cache", "daxo-viewer", "tracks.sqlite"))
            cli_ms = run_timed([os.path.join(BUILD, "tools/daxo-telemetry"), "--trips", reader.mount], env=env)[0]
        results[rate] = (runs, ls_ms, cli_ms)
        shutil.rmtree(card, ignore_errors=True)

    runs, ls_ms, cli_ms = results[60]
    cold, again = runs["cold"], runs["again"]
    n = "%d-recording card (%d files) through a card reader at 1 ms/read, 40 MB/s" % (groups, 2 * groups)
    rows.append((n + ": list shown vs `ls -l` of the card", "%d ms" % cold[0], "%.0f ms" % ls_ms,
                 "%.2f×" % (cold[0] / ls_ms), "≤ 1 s", cold[0] <= 1000))
    rows.append(("same: trips listed with times and lengths (cold)", "%d ms" % cold[1], "—", "—", "≤ 3 s",
                 cold[1] <= 3000))
    rows.append(("same: every route and impact complete, cold, 60 records/min", "%.1f s, %.1f reads and %.0f KB a recording"
                 % (cold[2] / 1000, cold[6] / groups, cold[7] / groups / 1024), "—", "—", "≤ 60 s", cold[2] <= 60000))
    c300 = results[300][0]["cold"]
    rows.append(("same at 300 records/min", "%.1f s, %.1f reads a recording" % (c300[2] / 1000, c300[6] / groups),
                 "—", "—", "(stated)", None))
    rows.append(("same card opened again (the index): trips complete vs the cold opening", "%d ms, %d reads" %
                 (again[2], again[6]), "%.1f s" % (cold[2] / 1000), "%.3f×" % (again[2] / cold[2]), "≤ 1 s",
                 again[2] <= 1000))
    rows.append(("`daxo-telemetry --trips` on the card seen before", "%.0f ms" % cli_ms, "—", "—", "(for reference)",
                 None))
    stall = max(cold[3], again[3], c300[3], results[300][0]["again"][3])
    rows.append(("longest main-thread stall during any of it (5 ms timer)", "%d ms" % stall, "—", "—", "≤ 50 ms",
                 stall <= 50))


def playback(work):
    """The viewer under a private X server (software video, as on this machine), its peers there too."""
    env = dict(os.environ, QT_QPA_PLATFORM="xcb")
    out = subprocess.run(["xvfb-run", "-a", "-s", "-screen 0 1920x1200x24", os.path.join(BUILD, "bench/measure_playback"),
                          "--size", "1920x1080", "--seconds", "60"], capture_output=True, text=True, env=env).stdout
    start = float(re.search(r"double-click to a picture on both surfaces: (\d+) ms", out).group(1))
    cpu = float(re.search(r"processor time of the viewer while the pair plays: ([\d.]+) %", out).group(1))
    rss = float(re.search(r"resident memory of the viewer while the pair plays: (\d+) MB", out).group(1))
    settings = float(re.search(r"settings window shown with the card's values: (\d+) ms", out).group(1))
    table = re.findall(r"^\| (.+?)\s+\|\s+(\d+) \|\s+(-?\d+) \|\s+(-?\d+) \|\s+(-?\d+) \|\s+(\d+) \|$", out, re.M)

    # peers on the same kind of files: one 1080p recording with numbered frames per channel
    clip = os.path.join(work, "front.mp4")
    make_clip(clip, 70, "1920x1080")
    rear = os.path.join(work, "rear.mp4")
    shutil.copy(clip, rear)
    first = []
    for _ in range(5):
        first.append(run_timed(["xvfb-run", "-a", "mpv", "--no-config", "--ao=null", "--vo=x11", "--frames=1", clip])[0])
    # xvfb-run's own start counts in that; take it out with an empty run
    empty = statistics.median(run_timed(["xvfb-run", "-a", "true"])[0] for _ in range(5))
    peer_first = max(1.0, statistics.median(first) - empty)
    rows.append(("Start to first picture of both channels vs `mpv` to the first frame of one file", "%.0f ms" % start,
                 "%.0f ms" % peer_first, "%.2f×" % (start / peer_first), "≤ 1.5× the single-file peer",
                 start <= 1.5 * peer_first))
    worst95 = max(int(r[3]) for r in table)
    worstmax = max(int(r[4]) for r in table)
    rows.append(("Front/rear sync on screen (frame-number gap, sampled every 100 ms; after start, pause, resume, "
                 "seek, ±10 s, exchange, 2×, and 60 s of plain playback)",
                 "p95 %d, max %d frames" % (worst95, worstmax), "—", "—", "≤ 1 frame at p95, ≤ 2 max",
                 worst95 <= 1 and worstmax <= 2))

    # two single-file players of the same pair, as processes of their own, for 30 s
    script = ("mpv --no-config --ao=null --vo=x11 --loop=inf '%s' >/dev/null 2>&1 & a=$!; "
              "mpv --no-config --ao=null --vo=x11 --loop=inf '%s' >/dev/null 2>&1 & b=$!; sleep 5; "
              "t0=$(cat /proc/$a/stat /proc/$b/stat | awk '{s+=$14+$15} END {print s}'); sleep 30; "
              "t1=$(cat /proc/$a/stat /proc/$b/stat | awk '{s+=$14+$15} END {print s}'); "
              "r=$(grep VmRSS /proc/$a/status /proc/$b/status | awk '{s+=$2} END {print s}'); "
              "kill $a $b; echo $((t1-t0)) $r $(getconf CLK_TCK)") % (clip, rear)
    peer = subprocess.run(["xvfb-run", "-a", "-s", "-screen 0 1920x1200x24", "sh", "-c", script],
                          capture_output=True, text=True).stdout.split()
    ticks, kb, hz = int(peer[0]), int(peer[1]), int(peer[2])
    peer_cpu = 100.0 * ticks / hz / 30
    peer_rss = kb / 1024
    rows.append(("Processor time of dual 1080p30 playback vs two `mpv` processes", "%.0f %% of a core" % cpu,
                 "%.0f %% of a core" % peer_cpu, "%.2f×" % (cpu / peer_cpu), "≤ 1.1×", cpu <= 1.1 * peer_cpu))
    rows.append(("Resident memory of dual 1080p30 playback vs two `mpv` processes", "%.0f MB" % rss,
                 "%.0f MB" % peer_rss, "%.2f×" % (rss / peer_rss), "≤ 1.2×", rss <= 1.2 * peer_rss))
    rows.append(("Open the settings window on a card (shown with its values)", "%.0f ms" % settings, "—", "—",
                 "≤ 300 ms", settings <= 300))
    return out


def mpv_pair(front, rear, seconds, speed=1.0):
    """Two single-file `mpv` players of the pair as processes of their own under a private X
    server: processor time (% of a core), resident memory (MB) and frames dropped in `seconds`."""
    script = r"""
import json, os, socket, subprocess, sys, time
front, rear, seconds, speed = sys.argv[1], sys.argv[2], float(sys.argv[3]), sys.argv[4]
procs, socks = [], []
for i, f in enumerate((front, rear)):
    sock = "/tmp/daxo-bench-mpv-%d-%d" % (os.getpid(), i)
    procs.append(subprocess.Popen(["mpv", "--no-config", "--ao=null", "--vo=x11", "--loop=inf", "--speed=" + speed,
                                   "--input-ipc-server=" + sock, f], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
    socks.append(sock)
time.sleep(5)
def ask(sock, prop):
    c = socket.socket(socket.AF_UNIX); c.connect(sock)
    c.sendall((json.dumps({"command": ["get_property", prop]}) + "\n").encode())
    data = b""
    while not data.endswith(b"\n"):
        data += c.recv(4096)
    c.close()
    return json.loads(data.splitlines()[-1]).get("data") or 0
def ticks():
    return sum(int(open("/proc/%d/stat" % p.pid).read().rsplit(")", 1)[1].split()[11]) +
               int(open("/proc/%d/stat" % p.pid).read().rsplit(")", 1)[1].split()[12]) for p in procs)
def drops():
    return sum(ask(s, "frame-drop-count") + ask(s, "decoder-frame-drop-count") for s in socks)
t0, d0 = ticks(), drops()
time.sleep(seconds)
t1, d1 = ticks(), drops()
rss = sum(int(l.split()[1]) for p in procs for l in open("/proc/%d/status" % p.pid) if l.startswith("VmRSS"))
for p in procs:
    p.kill()
print(100.0 * (t1 - t0) / os.sysconf("SC_CLK_TCK") / seconds, rss / 1024, d1 - d0)
"""
    out = subprocess.run(["xvfb-run", "-a", "-s", "-screen 0 1920x1200x24", "python3", "-c", script, front, rear,
                          str(seconds), str(speed)], capture_output=True, text=True).stdout.split()
    return float(out[0]), float(out[1]), int(out[2])


def camera(work):
    """A camera's own pair: 4K HEVC front at 40 Mbit/s with its 1080p H.264 rear, 30 frames/s."""
    # the pair takes minutes to encode: DAXO_BENCH_CAMERA names a folder where it is kept
    keep = os.environ.get("DAXO_BENCH_CAMERA") or os.path.join(work, "camera")
    env = dict(os.environ, QT_QPA_PLATFORM="xcb")
    out = subprocess.run(["xvfb-run", "-a", "-s", "-screen 0 1920x1200x24", os.path.join(BUILD, "bench/measure_playback"),
                          "--camera", "--seconds", "20", "--keep", keep], capture_output=True, text=True, env=env).stdout
    cpu = float(re.search(r"processor time of the viewer while the pair plays: ([\d.]+) %", out).group(1))
    rss = float(re.search(r"resident memory of the viewer while the pair plays: (\d+) MB", out).group(1))
    drop1 = int(re.search(r"frames dropped in \d+ s at 1x: (\d+)", out).group(1))
    drop2 = int(re.search(r"frames dropped in \d+ s at 2x: (\d+)", out).group(1))
    decoding = re.search(r"video decoding: (\S+)", out).group(1)
    table = re.findall(r"^\| (.+?)\s+\|\s+(\d+) \|\s+(-?\d+) \|\s+(-?\d+) \|\s+(-?\d+) \|\s+(\d+) \|$", out, re.M)
    front, rear = (os.path.join(keep, "alwa_20240101_120000_%s.MP4" % c) for c in "FR")
    peer_cpu, peer_rss, peer_drop1 = mpv_pair(front, rear, 20)
    _, _, peer_drop2 = mpv_pair(front, rear, 10, 2.0)
    what = "4K HEVC 40 Mbit/s front + 1080p H.264 rear at 30 frames/s (%s decoding)" % decoding
    rows.append((what + ": processor time vs two `mpv` processes", "%.0f %% of a core" % cpu,
                 "%.0f %% of a core" % peer_cpu, "%.2f×" % (cpu / peer_cpu), "≤ 1.1×", cpu <= 1.1 * peer_cpu))
    rows.append(("same: frames dropped in 20 s at 1× (both channels)", "%d" % drop1, "%d" % peer_drop1, "—",
                 "0 if two `mpv` drop 0", drop1 == 0 if peer_drop1 == 0 else None))
    rows.append(("same: frames dropped in 10 s at 2×", "%d" % drop2, "%d" % peer_drop2, "—", "(for reference)", None))
    rows.append(("same: resident memory vs two `mpv` processes", "%.0f MB" % rss, "%.0f MB" % peer_rss,
                 "%.2f×" % (rss / peer_rss), "≤ 1.2×", rss <= 1.2 * peer_rss))
    worst95 = max(int(r[3]) for r in table)
    worstmax = max(int(r[4]) for r in table)
    rows.append(("same: front/rear sync on screen after every action", "p95 %d, max %d frames" % (worst95, worstmax),
                 "—", "—", "p95 ≤ 1, max ≤ 2", worst95 <= 1 and worstmax <= 2))
    return out


def drop_page_cache():
    subprocess.run(["sync"])
    with open("/proc/sys/vm/drop_caches", "w") as d:
        d.write("3\n")


def import_card(work, files=16, megabytes=32):
    """A card imported into a library, verified, vs `cp` of the same files then `sha256sum` of
    both copies; each side starts with the card out of the page cache."""
    card = os.path.join(work, "import-card")
    os.makedirs(card)
    names = []
    for i in range(files):
        name = "alwa_20241003_08%02d00_F.MP4" % i
        with open(os.path.join(card, name), "wb") as f:
            f.write(os.urandom(megabytes << 20))
        names.append(name)
    tool = os.path.join(BUILD, "tools", "daxo-library")
    target = os.path.join(work, "import-target")
    ours, peer = [], []
    for _ in range(3):
        for side, sink in (("ours", ours), ("peer", peer)):
            shutil.rmtree(target, ignore_errors=True)
            os.makedirs(target)
            drop_page_cache()
            if side == "ours":
                ms = run_timed([tool, "import", card, "--library", target])[0]
            else:
                script = "cp %s %s && sha256sum %s %s >/dev/null" % (
                    " ".join(os.path.join(card, n) for n in names), target,
                    " ".join(os.path.join(card, n) for n in names), " ".join(os.path.join(target, n) for n in names))
                ms = run_timed(["sh", "-c", script])[0]
            sink.append(ms)
    o, p = statistics.median(ours), statistics.median(peer)
    rows.append(("Import of a card (%d recordings, %d MB) into the library, verified, vs `cp` then `sha256sum` of "
                 "both copies, cold" % (files, files * megabytes), "%.0f ms" % o, "%.0f ms" % p, "%.2f×" % (o / p),
                 "≤ 1.0×", o <= p * 1.0))


def clock_check(work, groups=1000):
    """`daxo-card clock --check` of a card of `groups` recordings whose tracks are in the index,
    vs the same check reading each recording to its first fix (no index, the files in the page
    cache); then the card not seen before through the slow reader."""
    card = os.path.join(work, "clock-card")
    subprocess.run([os.path.join(BUILD, "bench/make_card"), card, "--groups", str(groups)], check=True,
                   stdout=subprocess.DEVNULL)
    config = os.path.join(card, "config.bin")
    subprocess.run([os.path.join(BUILD, "tools/daxo-config"), "defaults", config], check=True, stdout=subprocess.DEVNULL)
    subprocess.run([os.path.join(BUILD, "tools/daxo-config"), "set", config, "time_gmt=14"], check=True,
                   stdout=subprocess.DEVNULL)
    tool = [os.path.join(BUILD, "tools/daxo-card"), "clock", "--check", card]
    indexed = dict(os.environ, XDG_CACHE_HOME=os.path.join(work, "clock-cache"))
    subprocess.run(tool, env=indexed, check=True, stdout=subprocess.DEVNULL)  # the index filled once
    ours, peer = [], []
    for run in range(5):
        ours.append(run_timed(tool, env=indexed)[0])
        fresh = dict(os.environ, XDG_CACHE_HOME=os.path.join(work, "clock-cache-%d" % run))
        peer.append(run_timed(tool, env=fresh)[0])
    o, p = statistics.median(ours), statistics.median(peer)
    rows.append(("Camera clock checked against GPS, %d-recording card, from the index vs reading each recording to its first fix (in the page cache)"
                 % groups, "%.0f ms" % o, "%.0f ms" % p, "%.2f×" % (o / p), "≤ 1 s", o <= 1000))
    # a card not seen before, through the slow reader: each recording read to its first fix
    with SlowCard(card, work) as reader:
        cold = dict(os.environ, XDG_CACHE_HOME=os.path.join(work, "clock-cache-cold"))
        ms = run_timed([tool[0], "clock", "--check", reader.mount], env=cold)[0]
    rows.append(("same, a card not seen before through a card reader at 1 ms/read, 40 MB/s",
                 "%.2f s, %.1f reads a recording" % (ms / 1000, reader.reads / groups), "—", "—", "≤ 5 s", ms <= 5000))
    shutil.rmtree(card, ignore_errors=True)


def camera_pair(folder):
    """Ten seconds of a camera's pair in `folder`: a 4K HEVC 40 Mbit/s front and a 1080p H.264
    rear, a key frame a second. Their paths."""
    front, rear = os.path.join(folder, "front.mp4"), os.path.join(folder, "rear.mp4")
    for path, size, codec in ((front, "3840x2160", ["-c:v", "libx265", "-x265-params", "log-level=error:keyint=30",
                                                    "-b:v", "40M"]),
                              (rear, "1920x1080", ["-c:v", "libx264", "-g", "30", "-b:v", "10M"])):
        subprocess.run(["ffmpeg", "-nostdin", "-y", "-loglevel", "error", "-f", "lavfi", "-i",
                        "testsrc2=size=%s:rate=30:duration=10" % size, "-preset", "ultrafast", "-pix_fmt", "yuv420p"]
                       + codec + [path], check=True)
    return front, rear


def thumbnails(work):
    """Thumbnails of a camera's pair (4K HEVC 40 Mbit/s front, 1080p H.264 rear, a key frame a
    second): the first preview of an uncached recording against ffmpeg cutting that moment
    itself, then found on disk and in memory; the pictures of a one-hour trip."""
    folder = os.path.join(work, "thumbnails")
    os.makedirs(folder)
    front, rear = camera_pair(folder)
    out = dict(line.split(None, 1) for line in subprocess.run(
        [os.path.join(BUILD, "bench", "bench_thumbnails"), front, rear, folder], check=True, capture_output=True,
        text=True).stdout.strip().split("\n"))
    peer = statistics.median(run_timed(["ffmpeg", "-nostdin", "-loglevel", "error", "-ss", "5.5", "-i", front,
                                        "-frames:v", "1", "-vf", "scale=320:-2", "-f", "image2pipe", "-c:v", "mjpeg",
                                        "-y", os.path.join(folder, "peer.jpg")])[0] for _ in range(3))
    first = float(out["first"])
    rows.append(("First preview under the pointer, uncached 4K HEVC recording, vs `ffmpeg -ss` cutting that moment",
                 "%.0f ms" % first, "%.0f ms" % peer, "%.2f×" % (first / peer), "≤ 300 ms", first <= 300))
    disk, memory = float(out["disk"]), float(out["memory"])
    rows.append(("same, made before: found on disk (a new run) / in memory", "%.1f ms / %.3f ms" % (disk, memory),
                 "—", "—", "≤ 30 ms", disk <= 30))
    seconds, decodes = out["trip"].split()
    rows.append(("Pictures of a one-hour trip (60 recordings, both channels, %s decodes) in the background, nothing "
                 "playing" % decodes, "%s s" % seconds, "—", "—", "≤ 60 s", float(seconds) <= 60))


def thumbnails_while_playing(work):
    """A 1080p pair playing in the viewer, alone and while a trip's thumbnails are made beside it
    (the same ffmpeg work at the same lowest priority): the frames dropped at 1x."""
    folder = os.path.join(work, "thumbs-playing")
    os.makedirs(folder)
    front, rear = camera_pair(folder)
    pair = os.path.join(folder, "pair")  # the played pair, made by the first run and kept
    env = dict(os.environ, QT_QPA_PLATFORM="xcb")
    play = ["xvfb-run", "-a", "-s", "-screen 0 1920x1200x24", os.path.join(BUILD, "bench/measure_playback"),
            "--size", "1920x1080", "--seconds", "20", "--keep", pair]

    def dropped(path):
        with open(path) as f:
            return int(re.search(r"frames dropped in \d+ s at 1x: (\d+)", f.read()).group(1))

    alone_out, beside_out = os.path.join(folder, "alone.txt"), os.path.join(folder, "beside.txt")
    with open(alone_out, "w") as out:
        subprocess.run(play, stdout=out, stderr=subprocess.DEVNULL, env=env, timeout=900)
    with open(beside_out, "w") as out:
        viewer = subprocess.Popen(play, stdout=out, stderr=subprocess.DEVNULL, env=env)
        made = 0
        while viewer.poll() is None:  # thumbnails made the whole time the pair plays
            target = os.path.join(folder, "run%d" % made)
            os.makedirs(target)
            maker = subprocess.Popen([os.path.join(BUILD, "bench", "bench_thumbnails"), front, rear, target],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            while maker.poll() is None and viewer.poll() is None:
                time.sleep(0.2)
            if maker.poll() is None:
                maker.kill()
            maker.wait()
            made += 1
    alone, beside = dropped(alone_out), dropped(beside_out)
    rows.append(("Frames dropped by a playing 1080p pair in 20 s at 1x while a trip's thumbnails are made beside it, "
                 "vs the pair alone", "%d" % beside, "%d" % alone, "—", "0 more", beside <= alone))
    shutil.rmtree(folder, ignore_errors=True)


def nmea(body):
    check = 0
    for c in body:
        check ^= ord(c)
    return "$%s*%02X\\r\\n" % (body, check)


def telemetry_lines(seconds, epoch, rate=5):
    """A drive's records for daxo-make-recording: north at a speed rising from 30 km/h."""
    lines = []
    for i in range(seconds * rate):
        t = epoch + i / rate
        hms = time.strftime("%H%M%S", time.gmtime(t)) + ".%03d" % int((t % 1) * 1000)
        lat = 37.5 + i * 0.00003
        mins = (lat - 37) * 60
        knots = (30 + i / rate) / 1.852
        if i % 2 == 0:
            body = "GNRMC,%s,A,37%07.4f,N,12700.0000,E,%.1f,0.0,%s,,,A" % (hms, mins, knots,
                                                                           time.strftime("%d%m%y", time.gmtime(t)))
        else:
            body = "GNGGA,%s,37%07.4f,N,12700.0000,E,1,09,0.8,38.0,M,18.2,M,," % (hms, mins)
        lines.append("%d 0 0 256 0 9 %s" % (int(t), nmea(body)))
    return "\n".join(lines) + "\n"


def clip_with_and_without(folder, first, extra, runs=3):
    """Median times of a 60 s picture-in-picture clip from `first` with `extra` options and without."""
    tool = os.path.join(BUILD, "tools/daxo-export")
    times = {"with": [], "without": []}
    for run in range(runs):
        for what, options in (("without", []), ("with", extra)):
            out = os.path.join(folder, "%s%d.mp4" % (what, run))
            times[what].append(run_timed([tool, "clip", first, "--from", "0", "--to", "60", "-o", out, "--layout", "pip"]
                                         + options)[0])
            os.remove(out)
    return statistics.median(times["with"]), statistics.median(times["without"])


def overlay_export(work):
    """A 60 s picture-in-picture clip of a 1080p pair with the overlay vs the same export without
    it; then a 10-minute clip with the overlay, the exporter's memory early and late."""
    folder = os.path.join(work, "overlay")
    card = os.path.join(folder, "card")
    os.makedirs(card)
    sources = {}
    for side in ("F", "R"):
        sources[side] = os.path.join(folder, side + ".mp4")
        subprocess.run(["ffmpeg", "-nostdin", "-y", "-loglevel", "error", "-f", "lavfi", "-i",
                        "testsrc2=size=1920x1080:rate=30:duration=60", "-c:v", "libx264", "-preset", "ultrafast",
                        "-g", "30", "-b:v", "10M", "-pix_fmt", "yuv420p", "-brand", "avc1", sources[side]], check=True)
    epoch = 1714982400  # 2024-05-06 08:00:00
    description = os.path.join(folder, "telemetry.txt")
    with open(description, "w") as f:
        f.write(telemetry_lines(60, epoch))
    front = os.path.join(folder, "front.MP4")
    subprocess.run([os.path.join(BUILD, "tools/daxo-make-recording"), sources["F"], front, "--telemetry", description],
                   check=True, stdout=subprocess.DEVNULL)
    for minute in range(10):  # ten minutes of one drive: the same pair under each minute's name
        name = os.path.join(card, "alwa_20240506_08%02d00" % minute)
        os.link(front, name + "_F.MP4")
        os.link(sources["R"], name + "_R.MP4")
    first = os.path.join(card, "alwa_20240506_080000_F.MP4")
    tool = os.path.join(BUILD, "tools/daxo-export")
    overlay = ["--overlay", "map,speed,g,time"]
    o, p = clip_with_and_without(folder, first, overlay)
    rows.append(("60 s picture-in-picture clip of a 1080p pair with the overlay (map, speed, G, time) vs the same "
                 "export without it", "%.1f s" % (o / 1000), "%.1f s" % (p / 1000), "%.2f×" % (o / p), "≤ 1.3×",
                 o <= 1.3 * p))

    # ten minutes: the exporter's resident memory at a tenth and at nine tenths of the run
    out = os.path.join(folder, "ten.mp4")
    start = time.perf_counter()
    exporter = subprocess.Popen([tool, "clip", first, "--from", "0", "--to", "600", "-o", out, "--layout", "pip"] + overlay,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    samples = []
    while exporter.poll() is None:
        try:
            with open("/proc/%d/status" % exporter.pid) as f:
                rss = next(int(l.split()[1]) for l in f if l.startswith("VmRSS:"))
            samples.append((time.perf_counter() - start, rss / 1024))
        except (OSError, StopIteration):
            pass
        time.sleep(0.5)
    total = time.perf_counter() - start
    assert exporter.returncode == 0
    probe = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", out],
                           capture_output=True, text=True).stdout.strip()
    early = next(m for t, m in samples if t >= total * 0.1)
    late = next(m for t, m in reversed(samples) if t <= total * 0.9)
    rows.append(("10-minute clip with the overlay (%.0f s long, made in %.0f s): the exporter's memory at a tenth and "
                 "at nine tenths of the run" % (float(probe), total), "%.0f MB / %.0f MB" % (early, late), "—",
                 "%.2f×" % (late / early), "within 10 %", abs(late - early) <= 0.1 * early))
    shutil.rmtree(folder, ignore_errors=True)


def redaction_tracking(work):
    """Ten boxes keyed in the middle of 60 s of 1080p30, followed both ways to the ends: the
    tracker's time (frames decoded by ffmpeg included) against the clip's own length; the
    decoding of the same frames alone beside it. Then a 60 s picture-in-picture export of a 1080p
    pair with those boxes hidden against the same export without them."""
    folder = os.path.join(work, "redaction")
    os.makedirs(folder)
    # a still, textured scene seen through a window that moves (as the world past a windscreen)
    video = os.path.join(folder, "pan.mp4")
    subprocess.run(["ffmpeg", "-nostdin", "-y", "-loglevel", "error", "-f", "lavfi", "-i",
                    "color=c=gray:s=300x175:r=30:d=60,noise=alls=100:allf=u,scale=2400:1400:flags=bicubic,"
                    "crop=1920:1080:x='240+200*sin(t/2)':y='160+120*cos(t/3)',format=yuv420p",
                    "-c:v", "libx264", "-preset", "ultrafast", "-g", "30", "-b:v", "10M", video], check=True)
    results = []
    for _ in range(3):
        out = subprocess.run([os.path.join(BUILD, "bench/bench_tracking"), video, "60", "10"], check=True,
                             capture_output=True, text=True).stdout
        results.append(json.loads(out))
    follow = statistics.median(r["follow_ms"] for r in results)
    decode = statistics.median(r["decode_ms"] for r in results)
    lost = max(r["lost"] for r in results)
    worst = max(r["worst_px"] for r in results)
    rows.append(("Following 10 boxes through 60 s of 1080p30, both ways from keys in the middle (decoding alone: "
                 "%.1f s; frames with a box lost: %d; largest stray of a box: %.0f px of 1920)" % (decode / 1000, lost, worst),
                 "%.1f s" % (follow / 1000), "60.0 s (real time)", "%.2f×" % (follow / 60000), "≤ 1× (real time)",
                 follow <= 60000))

    card = os.path.join(folder, "card")
    os.makedirs(card)
    for side in ("F", "R"):
        subprocess.run([os.path.join(BUILD, "tools/daxo-make-recording"), video,
                        os.path.join(card, "alwa_20240506_080000_%s.MP4" % side)], check=True, stdout=subprocess.DEVNULL)
    boxes = os.path.join(folder, "boxes.json")
    with open(boxes, "w") as f:
        json.dump({"version": 1, "boxes": [{"channel": "front", "track": True, "keys": [
            {"t": 30, "x": int((0.1 + 0.07 * b) * 1920), "y": 324, "w": 160, "h": 108}]} for b in range(10)]}, f)
    o, p = clip_with_and_without(folder, os.path.join(card, "alwa_20240506_080000_F.MP4"), ["--redact", boxes])
    rows.append(("60 s picture-in-picture clip of a 1080p pair with 10 boxes followed and blurred vs the same export "
                 "without them", "%.1f s" % (o / 1000), "%.1f s" % (p / 1000), "%.2f×" % (o / p), "—", None))
    shutil.rmtree(folder, ignore_errors=True)


def library_open(work, groups=10000):
    """A library of `groups` pairs (20,000 recordings in day folders) opened in the viewer with
    its index filled by an opening before: the list, the trips with their times and lengths, and
    every trip complete, vs `ls -lR` of the library."""
    library = os.path.join(work, "library")
    made = os.path.join(work, "library-made")
    subprocess.run([os.path.join(BUILD, "bench/make_card"), made, "--groups", str(groups)], check=True,
                   stdout=subprocess.DEVNULL)
    for name in os.listdir(made):
        day = "%s-%s-%s" % (name[5:9], name[9:11], name[11:13])  # alwa_YYYYMMDD_...
        os.makedirs(os.path.join(library, day), exist_ok=True)
        os.rename(os.path.join(made, name), os.path.join(library, day, name))
    open(os.path.join(library, ".daxo-import.lock"), "w").close()  # what every import leaves at its root
    index = os.path.join(work, "library-index.sqlite")
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    measure = [os.path.join(BUILD, "bench/measure_card"), library, index]
    subprocess.run(measure, capture_output=True, env=env, check=True)  # the index filled once
    runs = [[int(x) for x in subprocess.run(measure, capture_output=True, text=True, env=env,
                                            check=True).stdout.split()] for _ in range(3)]
    list_ms, listed_ms, complete_ms = (statistics.median(r[i] for r in runs) for i in range(3))
    ls_ms = statistics.median(run_timed(["ls", "-lR", library])[0] for _ in range(3))
    n = "Library of %d recordings in day folders, opened with its index" % (2 * groups)
    rows.append((n + ": list shown vs `ls -lR` of the library", "%d ms" % list_ms, "%.0f ms" % ls_ms,
                 "%.2f×" % (list_ms / ls_ms), "≤ 1 s", list_ms <= 1000))
    rows.append(("same: trips listed with times and lengths / every route and impact complete",
                 "%d ms / %d ms" % (listed_ms, complete_ms), "—", "—", "≤ 3 s", listed_ms <= 3000))
    shutil.rmtree(library, ignore_errors=True)


def places(work):
    """A year of daily driving (45 one-minute recordings a day) in the library's index of
    places, searched for a few streets and for the whole city, vs a scan of every fix."""
    folder = os.path.join(work, "places")
    os.makedirs(folder)
    out = subprocess.run([os.path.join(BUILD, "bench", "bench_places"), folder], check=True, capture_output=True,
                         text=True).stdout.split("\n")
    fixes = int(out[0].split()[1])
    for line, what, target, limit in ((out[1], "a few streets (450 m × 450 m)", "≤ 100 ms", 100),
                                      (out[2], "the whole city (22 km × 22 km)", "≤ 1 s", 1000)):
        _, ours, peer, passes, _ = line.split()
        rows.append(("Library search over a year of driving (%d fixes): %s, %s passes, vs a scan of every fix"
                     % (fixes, what, passes), "%s ms" % ours, "%s ms" % peer, "%.2f×" % (float(ours) / float(peer)),
                     target, float(ours) <= limit))


def machine():
    cpu = "unknown"
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    with open("/proc/meminfo") as f:
        mem = int(f.readline().split()[1]) // 1024
    return "%s, %d logical processors, %d MB of memory, %s %s" % (cpu, os.cpu_count(), mem, platform.system(),
                                                                  platform.release())


def main():
    work = tempfile.mkdtemp(prefix="daxo-bench-")
    only = os.environ.get("DAXO_BENCH_ONLY")
    if only:
        # one section, its rows put in place of the same rows of the last full run
        try:
            globals()[only](work)
        finally:
            shutil.rmtree(work, ignore_errors=True)
        path = os.path.join(ROOT, "bench", "RESULTS.md")
        with open(path) as f:
            text = f.read()
        for what, ours, peer, ratio, target, met in rows:
            line = "| %s | %s | %s | %s | %s | %s |" % (what, ours, peer, ratio, target,
                                                       "—" if met is None else "yes" if met else "**no**")
            lines = text.split("\n")
            kept = [i for i, l in enumerate(lines) if l.startswith("| %s |" % what)]
            if kept:
                lines[kept[0]] = line
            else:
                last = next(i for i, l in enumerate(lines) if l.startswith("| What |"))
                while last + 1 < len(lines) and lines[last + 1].startswith("|"):
                    last += 1
                lines.insert(last + 1, line)
            text = "\n".join(lines)
        with open(path, "w") as f:
            f.write(text)
        print("\n".join(str(r) for r in rows))
        return
    try:
        telemetry(work)
        card_list(work)
        card_scale(work, int(os.environ.get("DAXO_BENCH_GROUPS", "1000")))
        import_card(work)
        places(work)
        clock_check(work)
        thumbnails(work)
        thumbnails_while_playing(work)
        overlay_export(work)
        redaction_tracking(work)
        library_open(work)
        detail = playback(work)
        detail_camera = camera(work)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    lines = ["# Benchmark results", "",
             "Made by `scripts/bench` on %s, %s." % (time.strftime("%Y-%m-%d"), machine()),
             "Each row runs both sides on the same input in the same run; times are medians.", "",
             "| What | Ours | Peer | Ratio | Target | Met |", "|---|---|---|---|---|---|"]
    for what, ours, peer, ratio, target, met in rows:
        lines.append("| %s | %s | %s | %s | %s | %s |" % (what, ours, peer, ratio, target,
                                                           "—" if met is None else "yes" if met else "**no**"))
    lines += ["", "The viewer's own report of the playback run:", "", "```", detail.strip(), "```", "",
              "And of the camera pair:", "", "```", detail_camera.strip(), "```", ""]
    text = "\n".join(lines)
    with open(os.path.join(ROOT, "bench", "RESULTS.md"), "w") as f:
        f.write(text)
    print(text)


if __name__ == "__main__":
    main()
