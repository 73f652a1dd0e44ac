#!/usr/bin/env python3
"""Writes chime.wav: a one-second, four-note chime as 8-bit mono PCM at 8000 Hz.

The file uses the plain 44-byte WAVE header that tonebake reads. Run it again to
remake the sample; the output is the same bytes every time.
"""
import math
import struct
import sys

SAMPLE_RATE = 8000
NOTE_SECONDS = 0.25
# C6, E6, G6, C7: a rising major arpeggio.
NOTES_HZ = (1046.50, 1318.51, 1567.98, 2093.00)
PEAK = 100  # leaves headroom below the 8-bit range around silence (128)


def note(frequency):
    count = int(SAMPLE_RATE * NOTE_SECONDS)
    for i in range(count):
        t = i / SAMPLE_RATE
        envelope = math.exp(-6.0 * t)  # a struck, fading tone
        tone = math.sin(2 * math.pi * frequency * t) + 0.3 * math.sin(4 * math.pi * frequency * t)
        yield 128 + round(PEAK * envelope * tone / 1.3)


def wave_file(samples):
    data = bytes(samples)
    header = b"RIFF" + struct.pack("<I", 36 + len(data)) + b"WAVE"
    header += b"fmt " + struct.pack("<IHHIIHH", 16, 1, 1, SAMPLE_RATE, SAMPLE_RATE, 1, 8)
    header += b"data" + struct.pack("<I", len(data))
    return header + data


def main():
    path = sys.argv[1] if len(sys.argv) > 1 else "chime.wav"
    samples = [s for frequency in NOTES_HZ for s in note(frequency)]
    with open(path, "wb") as out:
        out.write(wave_file(samples))


if __name__ == "__main__":
    main()
