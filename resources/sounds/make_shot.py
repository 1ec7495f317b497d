#!/usr/bin/python3
"""Writes shot.wav, the default shutter sound: 150 ms, 44100 Hz, 16-bit mono.

Two short clicks, 55 ms apart, as the two curtains of a focal-plane shutter make them: each a burst of
noise that dies away within a few milliseconds over a damped low knock. The noise is seeded, so the file
comes out the same on every run.

Run: /usr/bin/python3 make_shot.py [output]   (default: shot.wav beside this script)
"""

import math
import os
import random
import struct
import sys
import wave

RATE = 44100
LENGTH_S = 0.150
CLICKS = ((0.004, 1.0), (0.059, 0.75))  # start (s), loudness
PEAK = 0.8


def click(t: float) -> float:
    if t < 0:
        return 0.0
    noise = random.uniform(-1.0, 1.0) * math.exp(-t / 0.0025)
    knock = math.sin(2 * math.pi * 190 * t) * math.exp(-t / 0.012)
    snap = math.sin(2 * math.pi * 2300 * t) * math.exp(-t / 0.004)
    return 0.55 * noise + 0.35 * knock + 0.25 * snap


def main() -> None:
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "shot.wav")
    random.seed(20261210)
    count = int(RATE * LENGTH_S)
    samples = []
    for i in range(count):
        t = i / RATE
        samples.append(sum(level * click(t - start) for start, level in CLICKS))
    # Fade the last 10 ms so the sound ends without a step.
    fade = int(RATE * 0.010)
    for i in range(fade):
        samples[count - fade + i] *= 1 - i / fade
    scale = PEAK / max(abs(s) for s in samples)
    frames = b"".join(struct.pack("<h", round(s * scale * 32767)) for s in samples)
    with wave.open(out, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(frames)


if __name__ == "__main__":
    main()
