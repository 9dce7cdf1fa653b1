#!/usr/bin/env python3
"""Longest silence inside a recording: raw signed 16-bit little-endian stereo at 44.1 kHz.

Prints the longest run of samples below the threshold between the first and the last
sound, in milliseconds. A sine crosses zero for a sample or two; that is not silence.
    silence.py RECORDING [THRESHOLD]
"""
import array
import sys

RATE = 44100
samples = array.array("h", open(sys.argv[1], "rb").read())
threshold = int(sys.argv[2]) if len(sys.argv) > 2 else 100
left = samples[0::2]
loud = [i for i, v in enumerate(left) if abs(v) > threshold]
if not loud:
    print("no sound recorded")
    sys.exit(1)
longest = run = end = 0
for i, v in enumerate(left[loud[0]:loud[-1] + 1]):
    run = run + 1 if abs(v) <= threshold else 0
    if run > longest:
        longest, end = run, i
if longest > 2:
    print("longest silence ends %.3f s after the first sound" % (end / RATE), file=sys.stderr)
# One quiet sample is a zero crossing of the tone.
print("%.2f" % (0.0 if longest <= 2 else longest * 1000.0 / RATE))
