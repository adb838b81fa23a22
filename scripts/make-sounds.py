#!/usr/bin/env python3
"""Writes the capture module's three sounds as WAVE files under resources/capture/wave/.

10011 is played when a still is taken: a short shutter click (two decaying noise bursts).
10015 starts a recording: a short rising two-note tone. 10014 ends it: the same notes falling.
All are 16-bit mono PCM at 22050 Hz, a few hundred milliseconds long. The output does not depend
on the run (the noise comes from a fixed seed); run it again after changing a sound.
"""
import math
import os
import random
import struct
import sys

RATE = 22050


def wave_file(samples):
    data = b"".join(struct.pack("<h", max(-32767, min(32767, int(round(s * 32767))))) for s in samples)
    fmt = struct.pack("<HHIIHH", 1, 1, RATE, RATE * 2, 2, 16)
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt + b"data" + struct.pack("<I", len(data)) + data
    return b"RIFF" + struct.pack("<I", len(body)) + body


def click():
    rnd = random.Random(10011)
    out = []
    for start, length, gain in ((0.0, 0.035, 0.8), (0.06, 0.05, 0.55)):
        first = int(start * RATE)
        while len(out) < first:
            out.append(0.0)
        n = int(length * RATE)
        for i in range(n):
            envelope = math.exp(-i / (n / 6.0))
            out.append(gain * envelope * (rnd.random() * 2 - 1))
    out.extend([0.0] * int(0.02 * RATE))
    return out


def tones(freqs, note=0.11, gap=0.03):
    out = []
    for f in freqs:
        n = int(note * RATE)
        for i in range(n):
            # Short fades at both ends so the note does not click.
            fade = min(1.0, i / (0.008 * RATE), (n - i) / (0.015 * RATE))
            out.append(0.45 * fade * math.sin(2 * math.pi * f * i / RATE))
        out.extend([0.0] * int(gap * RATE))
    return out


SOUNDS = {
    10011: click,
    10015: lambda: tones((660, 990)),
    10014: lambda: tones((990, 660)),
}


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "resources", "capture", "wave")
    os.makedirs(folder, exist_ok=True)
    for sound_id, make in SOUNDS.items():
        with open(os.path.join(folder, "%d.wav" % sound_id), "wb") as f:
            f.write(wave_file(make()))


if __name__ == "__main__":
    main()
