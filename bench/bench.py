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

With --prep, tonebake-prep is timed instead, side by side with sox doing the
same job (`sox IN -r 8031 -c 1 -b 8 -e unsigned-integer OUT`, what a user
would otherwise run) on 44.1 kHz stereo recordings of three minutes and one
hour, with the peak memory of each.

Usage: bench/bench.py [--tonebake build/tonebake] [--pairs 5] [--sizes 60K,16M,256M]
       bench/bench.py --prep [--tonebake-prep build/tonebake-prep] [--pairs 3]
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


PREP_DURATIONS = (180, 3600)     # seconds: a song, and an hour
PREP_MEMORY_TARGET = 32 * 1024 * 1024


def run_measuring_memory(command, folder):
    """Wall time and peak resident memory of one run, the memory read by GNU
    time: the peak a child of this script reports starts from this script's
    own size, which would hide a small program's."""
    report = os.path.join(folder, "peak.txt")
    elapsed, _ = run(["/usr/bin/time", "-f", "%M", "-o", report] + command)
    with open(report) as text:
        return elapsed, int(text.read().split()[-1]) * 1024


def measure_prep(folder, seconds, pairs, prep, sox):
    """Times tonebake-prep and sox making the same 8031 Hz 8-bit file."""
    source = os.path.join(folder, "song.wav")
    # Music-like: a tone over pink noise, stereo, 16 bits.
    subprocess.run([sox, "-n", "-r", "44100", "-c", "2", "-b", "16", source, "synth",
                    str(seconds), "pinknoise", "synth", "sine", "mix", "440", "vol", "0.4"],
                   check=True)
    commands = {
        # --plain: rounding, the same job as sox's; the default byte search
        # is measured apart (doc/performance.md).
        "tonebake-prep": [prep, "--wait", "16", "--plain", source,
                          os.path.join(folder, "prep.wav")],
        "sox": [sox, source, "-r", "8031", "-c", "1", "-b", "8", "-e", "unsigned-integer",
                os.path.join(folder, "sox.wav")],
    }
    for command in commands.values():
        run(command)
    times = {name: [] for name in commands}
    peaks = {name: 0 for name in commands}
    for _ in range(pairs):
        for name, command in commands.items():
            elapsed, rss = run_measuring_memory(command, folder)
            times[name].append(elapsed)
            peaks[name] = max(peaks[name], rss)
    for name in ("song.wav", "prep.wav", "sox.wav"):
        os.remove(os.path.join(folder, name))
    return times, peaks


def main_prep(args):
    sox = shutil.which("sox")
    if not sox or not os.access("/usr/bin/time", os.X_OK):
        sys.exit("--prep needs sox, to make the recordings and compare with, and GNU time "
                 "(Debian packages sox and time), to read peak memory")
    prep = os.path.abspath(args.tonebake_prep)
    print(f"{'input':>10} {'prep':>10} {'sox':>10} {'ratio':>7} {'prep mem':>9} {'sox mem':>9}")
    verdicts = []
    with tempfile.TemporaryDirectory(prefix="tonebake-bench-") as folder:
        for seconds in PREP_DURATIONS:
            times, peaks = measure_prep(folder, seconds, args.pairs, prep, sox)
            ratio = statistics.median(
                p / s for p, s in zip(times["tonebake-prep"], times["sox"]))
            print(f"{seconds:>9}s {statistics.median(times['tonebake-prep']):>9.2f}s"
                  f" {statistics.median(times['sox']):>9.2f}s {ratio:>7.2f}"
                  f" {peaks['tonebake-prep'] / 2**20:>7.1f}Mi {peaks['sox'] / 2**20:>7.1f}Mi",
                  flush=True)
            verdicts.append(f"{seconds} s: no slower than sox: {verdict(ratio <= 1.0)}; "
                            f"peak memory <= 32 MiB: "
                            f"{verdict(peaks['tonebake-prep'] <= PREP_MEMORY_TARGET)}")
    print()
    print("\n".join(verdicts))


def pairwise_ratio(times, other):
    return statistics.median(t / o for t, o in zip(times["tonebake"], times[other]))


def verdict(met):
    return "met" if met else "NOT met"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--tonebake", default=os.path.join("build", "tonebake"))
    parser.add_argument("--pairs", type=int, default=5)
    parser.add_argument("--sizes", default="60K,16M,256M")
    parser.add_argument("--prep", action="store_true", help="time tonebake-prep against sox")
    parser.add_argument("--tonebake-prep", default=os.path.join("build", "tonebake-prep"))
    args = parser.parse_args()
    if args.prep:
        main_prep(args)
        return
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
