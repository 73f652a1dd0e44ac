#!/usr/bin/env python3
"""Times tonebake against a plain file copy of the same input.

For each input size, a valid 8-bit mono WAVE file is generated in a temporary
folder; after a warm-up, tonebake and cp run alternately (PAIRS pairs), and
the script prints the median wall time of each, the median of the pairwise
ratios tonebake/cp, and tonebake's peak resident memory as a multiple of the
input size (a forked child's peak starts from the size of this Python process,
so it is meaningful only for inputs larger than that). When sox is installed, it is timed converting the same input to
raw 8-bit samples, the tool a user would otherwise reach for. The machine is
shared and noisy: the ratios measured within one run are what count.

Usage: bench/bench.py [--tonebake build/tonebake] [--pairs 5] [--sizes 60K,16M,256M]
"""
import argparse
import os
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import time

UNITS = {"K": 1024, "M": 1024 * 1024}
SMALL_RATIO_TARGET = 1.0   # 60 KiB: no slower than cp
LARGE_RATIO_TARGET = 3.0   # 256 MiB: at most three times cp
LARGE_MEMORY_TARGET = 2.1  # the input and the image, each held once
# Time and memory from 16 to 256 MiB may grow at most this much faster than
# linearly. The machine itself does not copy linearly (page cache, writeback),
# so tonebake's time growth is compared with cp's growth in the same run.
LINEARITY_TOLERANCE = 1.5


def parse_size(text):
    return int(text[:-1]) * UNITS[text[-1]] if text[-1] in UNITS else int(text)


def write_wave(path, size):
    """A WAVE file of exactly `size` bytes: the 44-byte header and samples."""
    count = size - 44
    header = b"RIFF" + struct.pack("<I", size - 8) + b"WAVE"
    header += b"fmt " + struct.pack("<IHHIIHH", 16, 1, 1, 8000, 8000, 1, 8)
    header += b"data" + struct.pack("<I", count)
    pattern = bytes((128 + (i * 37) % 97 - 48) & 0xFF for i in range(4096))
    with open(path, "wb") as out:
        out.write(header)
        for offset in range(0, count, len(pattern)):
            out.write(pattern[: min(len(pattern), count - offset)])


def run(command):
    """Wall time in seconds and peak resident memory in bytes of one run."""
    # Write back what earlier runs left dirty first, so that no run pays for
    # the one before it.
    os.sync()
    start = time.perf_counter()
    process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(process.pid, 0)
    elapsed = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"failed: {' '.join(command)}")
    return elapsed, usage.ru_maxrss * 1024


def measure(folder, size, pairs, tonebake):
    source = os.path.join(folder, "in.wav")
    write_wave(source, size)
    commands = {
        "tonebake": [tonebake, "--", source, os.path.join(folder, "out.bin")],
        "cp": ["cp", source, os.path.join(folder, "copy.wav")],
    }
    sox = shutil.which("sox")
    if sox:
        commands["sox"] = [sox, source, "-t", "raw", "-e", "unsigned-integer", "-b", "8",
                           os.path.join(folder, "out.raw")]
    for command in commands.values():  # warm-up: page cache and binaries
        run(command)
    times = {name: [] for name in commands}
    peak = 0
    for _ in range(pairs):
        for name, command in commands.items():
            elapsed, rss = run(command)
            times[name].append(elapsed)
            if name == "tonebake":
                peak = max(peak, rss)
    for name in ("out.bin", "copy.wav", "out.raw", "in.wav"):
        path = os.path.join(folder, name)
        if os.path.exists(path):
            os.remove(path)
    return times, peak


def pairwise_ratio(times, other):
    return statistics.median(t / o for t, o in zip(times["tonebake"], times[other]))


def verdict(met):
    return "met" if met else "NOT met"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--tonebake", default=os.path.join("build", "tonebake"))
    parser.add_argument("--pairs", type=int, default=5)
    parser.add_argument("--sizes", default="60K,16M,256M")
    args = parser.parse_args()
    tonebake = os.path.abspath(args.tonebake)
    sizes = [parse_size(text) for text in args.sizes.split(",")]

    results = {}
    with tempfile.TemporaryDirectory(prefix="tonebake-bench-") as folder:
        print(f"{'input':>10} {'tonebake':>10} {'cp':>10} {'ratio':>7} {'memory':>7}"
              f" {'sox':>10} {'vs sox':>7}")
        for size in sizes:
            times, peak = measure(folder, size, args.pairs, tonebake)
            ratio = pairwise_ratio(times, "cp")
            memory = peak / size
            line = (f"{size // 1024:>8}Ki {statistics.median(times['tonebake']) * 1000:>8.2f}ms"
                    f" {statistics.median(times['cp']) * 1000:>8.2f}ms {ratio:>7.2f}"
                    f" {memory:>6.2f}x")
            if "sox" in times:
                line += (f" {statistics.median(times['sox']) * 1000:>8.2f}ms"
                         f" {pairwise_ratio(times, 'sox'):>7.2f}")
            print(line, flush=True)
            results[size] = (statistics.median(times["tonebake"]), ratio, memory,
                             statistics.median(times["cp"]))

    print()
    small, middle, large = 60 * 1024, 16 * 1024 * 1024, 256 * 1024 * 1024
    if small in results:
        print(f"60 KiB: ratio to cp <= {SMALL_RATIO_TARGET}: "
              f"{verdict(results[small][1] <= SMALL_RATIO_TARGET)}")
    if large in results:
        _, ratio, memory, _ = results[large]
        print(f"256 MiB: ratio to cp <= {LARGE_RATIO_TARGET}: {verdict(ratio <= LARGE_RATIO_TARGET)}")
        print(f"256 MiB: peak memory <= {LARGE_MEMORY_TARGET}x input: "
              f"{verdict(memory <= LARGE_MEMORY_TARGET)}")
    if middle in results and large in results:
        growth = results[large][0] / results[middle][0]
        copy_growth = results[large][3] / results[middle][3]
        factor = large / middle
        print(f"16 -> 256 MiB ({factor:.0f}x the input): time grows {growth:.1f}x, cp's "
              f"{copy_growth:.1f}x; within {LINEARITY_TOLERANCE}x of cp's growth: "
              f"{verdict(growth <= max(factor, copy_growth) * LINEARITY_TOLERANCE)}")
        print(f"16 -> 256 MiB: peak memory {results[middle][2]:.2f}x -> "
              f"{results[large][2]:.2f}x of the input, linear: "
              f"{verdict(results[large][2] <= results[middle][2] * LINEARITY_TOLERANCE)}")


if __name__ == "__main__":
    main()
