#!/usr/bin/env python3
"""Builds the demo collection under demo/music: short tracks synthesised from tones and
chords and encoded with lame, a description file in CP437, pictures, text pages and a
playlist. Deterministic: running it again gives the same files."""

import math
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import wave

HERE = os.path.dirname(os.path.abspath(__file__))
MUSIC = os.path.join(HERE, "music")
RATE = 44100


def tone_wav(path, freqs, seconds, stereo_pan=0.0):
    """Writes a 16-bit stereo WAV holding the sum of sine tones, with a short fade."""
    frames = int(RATE * seconds)
    fade = int(RATE * 0.05)
    data = bytearray()
    for i in range(frames):
        t = i / RATE
        env = min(1.0, i / fade, (frames - i) / fade)
        s = sum(math.sin(2 * math.pi * f * t) for f in freqs) / len(freqs)
        v = int(12000 * env * s)
        left = int(v * (1 - stereo_pan))
        right = int(v * (1 + stereo_pan) if stereo_pan < 0 else v)
        data += struct.pack("<hh", left, right)
    with wave.open(path, "wb") as w:
        w.setnchannels(2)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(bytes(data))


def encode(wav, mp3, bitrate, tags):
    args = ["lame", "--quiet", "--cbr", "-b", str(bitrate), "--id3v1-only"]
    for flag, key in (("--tt", "title"), ("--ta", "artist"), ("--tl", "album"),
                      ("--ty", "year"), ("--tc", "comment"), ("--tg", "genre")):
        if key in tags:
            args += [flag, tags[key]]
    subprocess.run(args + [wav, mp3], check=True)


def bmp(path, width, height, pixel):
    """Writes a 24-bit BMP; pixel(x, y) gives (r, g, b)."""
    row = (width * 3 + 3) & ~3
    body = bytearray()
    for y in range(height - 1, -1, -1):
        line = bytearray()
        for x in range(width):
            r, g, b = pixel(x, y)
            line += bytes((b, g, r))
        body += line + bytes(row - len(line))
    header = struct.pack("<2sIHHI", b"BM", 54 + len(body), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(body), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + body)


def rings(cx, cy, colours):
    def pixel(x, y):
        d = math.hypot(x - cx, y - cy)
        return colours[int(d / 8) % len(colours)]
    return pixel


def write_oem(path, lines):
    with open(path, "wb") as f:
        for line in lines:
            f.write(line.encode("cp437") + b"\r\n")


TRACKS = [
    # directory, file name, notes (Hz), seconds, bit rate, tags
    ("Tone Studies", "01 A440.mp3", [440.0], 5, 128,
     {"title": "Concert A", "artist": "Cantorel Ensemble", "album": "Tone Studies",
      "year": "2026", "comment": "440 Hz sine", "genre": "Ambient"}),
    ("Tone Studies", "02 Fifth.mp3", [440.0, 660.0], 5, 96,
     {"artist": "Cantorel Ensemble", "album": "Tone Studies", "year": "2026", "genre": "Ambient"}),
    ("Chamber Works", "Major Chord.mp3", [261.63, 329.63, 392.0], 6, 64,
     {"title": "C major", "artist": "Cantorel Trio", "album": "Chamber Works", "genre": "Classical"}),
    ("Chamber Works", "Minor Chord.mp3", [220.0, 261.63, 329.63], 6, 128,
     {"title": "A minor", "artist": "Cantorel Trio", "album": "Chamber Works", "genre": "Classical"}),
    ("", "Arpeggio.mp3", [293.66, 369.99, 440.0, 587.33], 4, 160, {}),
]


def main():
    if shutil.which("lame") is None:
        sys.exit("make-demo.py needs lame (apt-get install lame)")
    if os.path.isdir(MUSIC):
        shutil.rmtree(MUSIC)
    os.makedirs(MUSIC)
    with tempfile.TemporaryDirectory() as tmp:
        for directory, name, notes, seconds, bitrate, tags in TRACKS:
            target_dir = os.path.join(MUSIC, directory)
            os.makedirs(target_dir, exist_ok=True)
            wav = os.path.join(tmp, "tone.wav")
            tone_wav(wav, notes, seconds)
            encode(wav, os.path.join(target_dir, name), bitrate, tags)

    write_oem(os.path.join(MUSIC, "files.bbs"), [
        "╔══════════════════════════════════════╗",
        "║  Cantorel demo collection            ║",
        "╚══════════════════════════════════════╝",
        '"Tone Studies"  Pure tones and intervals',
        '"Chamber Works" Chords for three voices',
        "Arpeggio.mp3    D major arpeggio, no tag at all",
        "Favourites.m3u  Favourites of the demo",
    ])
    write_oem(os.path.join(MUSIC, "Tone Studies", "files.bbs"), [
        '"01 A440.mp3"   The tuning note',
        '"02 Fifth.mp3"  A perfect fifth above A',
    ])
    write_oem(os.path.join(MUSIC, "Chamber Works", "files.bbs"), [
        '"Major Chord.mp3" Bright and open',
        '"Minor Chord.mp3" Darker colour',
    ])
    write_oem(os.path.join(MUSIC, "dirinfo"), [
        "Cantorel demo collection",
        "════════════════════════",
        "",
        "Five short tracks synthesised from sine tones:",
        "  ■ Tone Studies  - a single tone and a fifth",
        "  ■ Chamber Works - two triads",
        "  ■ Arpeggio      - four notes at once",
    ])
    write_oem(os.path.join(MUSIC, "Tone Studies", "dirinfo"), [
        "Tone Studies",
        "────────────",
        "A 440 Hz tuning note and the fifth above it.",
    ])
    with open(os.path.join(MUSIC, "Chamber Works", "dirinfo.rtf"), "w", encoding="ascii") as f:
        f.write(r"{\rtf1\ansi\ansicpg1252\deff0{\fonttbl{\f0 Arial;}}{\colortbl;\red0\green0\blue160;}"
                "\n" r"\pard\qc\b\fs28 Chamber Works\b0\par" "\n"
                r"\pard\fs20 Two triads for three voices: \i C major\i0  and \cf1 A minor\cf0 .\par" "\n"
                r"Caf\'e9 music for a quiet room.\par}" "\n")
    bmp(os.path.join(MUSIC, "dirinfo.bmp"), 96, 96,
        rings(48, 48, [(40, 80, 160), (70, 120, 200), (230, 230, 245), (250, 200, 60)]))
    bmp(os.path.join(MUSIC, "Chamber Works", "dirinfo.bmp"), 96, 64,
        rings(20, 32, [(120, 30, 40), (200, 160, 90), (245, 235, 215)]))
    bmp(os.path.join(MUSIC, "Chamber Works", "Major Chord.bmp"), 64, 64,
        lambda x, y: (255 - 3 * y, 180, 60 + 3 * x))
    with open(os.path.join(MUSIC, "Favourites.m3u"), "wb") as f:
        f.write(b"#EXTM3U\r\n"
                b"#EXTINF:6,Cantorel Trio - A minor\r\n"
                b"Chamber Works\\Minor Chord.mp3\r\n"
                b"#EXTINF:5,Cantorel Ensemble - Concert A\r\n"
                b"Tone Studies/01 A440.mp3\r\n"
                b"Arpeggio.mp3\r\n")


if __name__ == "__main__":
    main()
