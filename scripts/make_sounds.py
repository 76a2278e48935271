#!/usr/bin/env python3
"""Writes the server's shipped sound files: small synthesized tones, the same
bytes on every run (16-bit mono PCM WAVE).

    python3 scripts/make_sounds.py [data folder]   (default: data/ of the repo)
"""
import math
import os
import struct
import sys
import wave

RATE = 11025


def samples(seconds, voice):
    count = int(RATE * seconds)
    return [voice(i / RATE, i / count) for i in range(count)]


def write(path, values):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    frames = b"".join(struct.pack("<h", max(-32767, min(32767, int(v * 32767)))) for v in values)
    with wave.open(path, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(frames)


def sine(freq, t):
    return math.sin(2 * math.pi * freq * t)


def fade(x, edge=0.05):
    return min(1.0, x / edge, (1.0 - x) / edge)


def main():
    data = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "data")
    sounds = os.path.join(data, "sounds")
    # A dull double buzz: the stand-in for a sound that did not load.
    write(os.path.join(sounds, "error.wav"),
          samples(0.25, lambda t, x: 0.4 * fade(x) * (sine(110, t) + 0.5 * sine(165, t)) * (1 if x < 0.45 or x > 0.55 else 0)))
    # A short bright click for the interface.
    write(os.path.join(sounds, "button_clk.wav"),
          samples(0.04, lambda t, x: 0.6 * math.exp(-8 * x) * sine(2000, t)))
    # Two falling alarm notes, twice.
    write(os.path.join(sounds, "attack_warn.wav"),
          samples(0.6, lambda t, x: 0.5 * fade((x * 4) % 1, 0.1) * sine(880 if (x * 4) % 2 < 1 else 660, t)))
    # Two quiet background pieces: slow chords.
    write(os.path.join(sounds, "music", "drift.wav"),
          samples(3.0, lambda t, x: 0.2 * fade(x, 0.1) * (sine(220, t) + sine(277.2, t) + sine(329.6, t)) / 3))
    write(os.path.join(sounds, "music", "pulse.wav"),
          samples(3.0, lambda t, x: 0.2 * fade(x, 0.1) * (0.6 + 0.4 * sine(2, t)) * (sine(196, t) + sine(293.7, t)) / 2))


if __name__ == "__main__":
    main()
