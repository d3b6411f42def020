#!/usr/bin/env python3
"""Start-up of the tervala program beside PROJ's cct: one point per call.

Runs, interleaved round by round so that a change in the machine's load
touches every command alike:
  tervala utm -s "37.5 127.3"
  echo "127.3 37.5 0 0" | cct +proj=utm +zone=52
  tervala --version
N times each (default 20) and prints, per command, the median and the
lowest wall time of a call (from the spawn to the reaped exit) and the peak
resident memory of the process (per call: the median and the highest).
cct reads its point from a pipe, as a script would give it one; the time to
write that line is inside its call.

Every call runs under /usr/bin/time -f %M, which reports the command's own
peak RSS: a child forked from Python directly would count Python's pages
(resident before its exec) in its ru_maxrss. The wall times therefore hold
time's own fork and exec, the same for every command (a little over 1 ms).

Usage: bench/tool_startup.py [TERVALA] [N]   (from the project root)
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time


RSS_FILE = tempfile.NamedTemporaryFile(prefix="tervala-startup-", suffix=".rss")


def call(argv, stdin_text):
    """Wall seconds, peak RSS (KiB) and output of one run of argv."""
    start = time.perf_counter()
    process = subprocess.Popen(["/usr/bin/time", "-f", "%M", "-o", RSS_FILE.name] + argv, stdin=subprocess.PIPE if stdin_text else subprocess.DEVNULL,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    out = b""
    if stdin_text:
        process.stdin.write(stdin_text.encode())
        process.stdin.close()
    out = process.stdout.read()
    process.stderr.read()
    process.wait()
    wall = time.perf_counter() - start
    if process.returncode != 0:
        sys.exit(f"{' '.join(argv)} failed with exit {process.returncode}")
    with open(RSS_FILE.name) as f:
        rss = int(f.read().split()[-1])
    return wall, rss, out.decode().strip()


def main():
    tervala = sys.argv[1] if len(sys.argv) > 1 else "build/bench/tools/tervala"
    n = int(sys.argv[2]) if len(sys.argv) > 2 else 20
    if not os.access(tervala, os.X_OK):
        sys.exit(f"no tervala at {tervala}; build it or pass its path")
    if not os.access("/usr/bin/time", os.X_OK):
        sys.exit("/usr/bin/time not found (Debian package time)")
    if shutil.which("cct") is None:
        sys.exit("cct not found (Debian package proj-bin)")
    commands = [
        (f'tervala utm -s "37.5 127.3"', [tervala, "utm", "-s", "37.5 127.3"], None),
        ('echo "127.3 37.5 0 0" | cct +proj=utm +zone=52', ["cct", "+proj=utm", "+zone=52"], "127.3 37.5 0 0\n"),
        ("tervala --version", [tervala, "--version"], None),
    ]
    results = {name: [] for name, _, _ in commands}
    outputs = {}
    for name, argv, text in commands:  # one unmeasured call each: the files are then in the page cache
        outputs[name] = call(argv, text)[2]
    for _ in range(n):
        for name, argv, text in commands:
            wall, rss, _ = call(argv, text)
            results[name].append((wall, rss))
    print(f"{n} calls each, interleaved; load average {os.getloadavg()[0]:.2f}")
    print(f"{'command':50s} {'median ms':>10s} {'lowest ms':>10s} {'RSS median':>11s} {'RSS peak':>9s}")
    for name, _, _ in commands:
        walls = [w for w, _ in results[name]]
        rss = [r for _, r in results[name]]
        print(f"{name:50s} {1e3 * statistics.median(walls):10.2f} {1e3 * min(walls):10.2f} "
              f"{statistics.median(rss) / 1024:8.1f} MB {max(rss) / 1024:6.1f} MB")
    for name, _, _ in commands[:2]:
        print(f"  {name}: {outputs[name]}")


if __name__ == "__main__":
    main()
