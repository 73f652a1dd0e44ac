#!/usr/bin/env python3
"""Writes the hand-made seed corpus of the fuzz targets into corpus/.

Conversion seeds are whole input files: valid ones, one for each header
finding, truncated files and data sizes that lie about the file. Command-line
seeds are argument vectors with a zero byte between arguments.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def wave(samples=b"\x80\x90\x70\x80", riff=b"RIFF", wave_id=b"WAVE", fmt=b"fmt ",
         audio_format=1, channels=1, rate=8000, bits=8, data_size=None, extra=b""):
    body = wave_id + fmt + struct.pack("<IHHIIHH", 16, audio_format, channels, rate,
                                       rate * channels * bits // 8, channels * bits // 8, bits)
    size = len(samples) if data_size is None else data_size
    body += b"data" + struct.pack("<I", size & 0xFFFFFFFF) + samples + extra
    return riff + struct.pack("<I", len(body)) + body


def conversion_seeds():
    valid = wave()
    return {
        "valid-8000hz": valid,
        "valid-no-samples": wave(samples=b""),
        "valid-44100hz": wave(rate=44100),
        "valid-3919hz": wave(rate=3919),
        "valid-trailing-chunk": wave(extra=b"LIST\x04\x00\x00\x00abcd"),
        "valid-ramp-300": wave(samples=bytes(range(256)) + bytes(44)),
        "size-mismatch": valid + b"\x00",
        "no-riff-id": wave(riff=b"riff"),
        "no-wave-id": wave(wave_id=b"AVI "),
        "no-fmt-id": wave(fmt=b"fmt_"),
        "format-not-pcm": wave(audio_format=3),
        "channels-not-one": wave(channels=2),
        "bits-not-eight": wave(bits=16),
        "everything-wrong": wave(riff=b"RIFX", audio_format=2, channels=2, bits=16),
        "empty": b"",
        "truncated-43": valid[:43],
        "truncated-riff-size-fits": struct.pack("<4sI", b"RIFF", 32) + valid[8:40],
        "data-size-past-end": wave(data_size=5),
        "data-size-negative": wave(data_size=-1),
        "data-size-huge": wave(data_size=0x7FFFFFFF),
        "riff-size-wraps": b"RIFF" + struct.pack("<I", 0xFFFFFFFF) + valid[8:],
    }


def command_line_seeds():
    return {
        "bare-name": [b"tonebake", b"song"],
        "wait-and-output": [b"tonebake", b"-w16", b"in.wav", b"out"],
        "wait-wraps": [b"tonebake", b"/W4294967303", b"in"],
        "help-twice": [b"tonebake", b"-?", b"/h", b"song"],
        "double-dash": [b"tonebake", b"--", b"/abs/path/song", b"-w3"],
        "drive-and-dirs": [b"tonebake", b"c:dir\\sub/x.y.z", b"out."],
        "shift-jis-name": [b"tonebake", b"\x95\x5c\\\x83\x5c", b"\x83\x5c."],
        "lone-lead-byte": [b"tonebake", b"a.b\x81", b"\x81"],
        "empty-arguments": [b"tonebake", b"", b""],
        "options-only": [b"tonebake", b"-", b"/", b"-x", b"-w"],
    }


def write_all(folder, seeds):
    os.makedirs(folder, exist_ok=True)
    for name, content in seeds.items():
        with open(os.path.join(folder, name), "wb") as out:
            out.write(content)


def main():
    write_all(os.path.join(HERE, "corpus", "conversion"), conversion_seeds())
    write_all(os.path.join(HERE, "corpus", "command_line"),
              {name: b"\x00".join(args) for name, args in command_line_seeds().items()})


if __name__ == "__main__":
    main()
