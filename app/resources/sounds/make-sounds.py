#!/usr/bin/env python3
"""Writes the application's two sounds as 16-bit mono WAV files beside this script.

expander-done.wav: a short rising two-note chime (E6, then B6) with a soft bell decay.
Funk.wav: a low, muted double knock for a failed expansion.
"""
import math
import os
import struct
import wave

RATE = 44100


def bell(frequency, start, length, volume, total):
    samples = [0.0] * total
    for i in range(int(length * RATE)):
        t = i / RATE
        envelope = min(1.0, t / 0.004) * math.exp(-t * 9.0)
        value = (math.sin(2 * math.pi * frequency * t)
                 + 0.35 * math.sin(2 * math.pi * frequency * 2.01 * t) * math.exp(-t * 6.0)
                 + 0.12 * math.sin(2 * math.pi * frequency * 3.0 * t) * math.exp(-t * 14.0))
        index = int(start * RATE) + i
        if index < total:
            samples[index] += volume * envelope * value
    return samples


def knock(frequency, start, length, volume, total):
    samples = [0.0] * total
    for i in range(int(length * RATE)):
        t = i / RATE
        envelope = min(1.0, t / 0.002) * math.exp(-t * 22.0)
        sweep = frequency * (1.0 - 0.25 * min(1.0, t / length))
        value = math.sin(2 * math.pi * sweep * t) + 0.3 * math.sin(2 * math.pi * sweep * 1.5 * t)
        index = int(start * RATE) + i
        if index < total:
            samples[index] += volume * envelope * value
    return samples


def mix(*tracks):
    return [sum(values) for values in zip(*tracks)]


def write(name, samples):
    peak = max(abs(s) for s in samples) or 1.0
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), name)
    with wave.open(path, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(b"".join(struct.pack("<h", int(32767 * 0.7 * s / peak)) for s in samples))


if __name__ == "__main__":
    total = int(0.45 * RATE)
    write("expander-done.wav", mix(bell(1318.5, 0.0, 0.35, 0.6, total), bell(1975.5, 0.07, 0.38, 0.5, total)))
    total = int(0.32 * RATE)
    write("Funk.wav", mix(knock(196.0, 0.0, 0.16, 0.8, total), knock(164.8, 0.11, 0.2, 0.7, total)))
