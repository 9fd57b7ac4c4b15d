#!/usr/bin/env python3
"""Writes the demo MIDI files in data/: demo.mid, a short phrase, and
demo_pad.mid, three long notes that give the pad trajectory time to move.

Usage: tools/make_demo_mid.py [OUTPUT_DIR]   (default: data/ beside tools/)
"""
import os
import struct
import sys

PPQ = 480


def vlq(value):
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.append(0x80 | (value & 0x7F))
        value >>= 7
    return bytes(reversed(out))


def track(events):
    """events: (tick, bytes) in any order; stable by tick. End of Track added."""
    body = b""
    now = 0
    for tick, data in sorted(events, key=lambda e: e[0]):
        body += vlq(tick - now) + data
        now = tick
    body += vlq(0) + b"\xff\x2f\x00"
    return b"MTrk" + struct.pack(">I", len(body)) + body


def tempo(tick, bpm):
    return (tick, b"\xff\x51\x03" + struct.pack(">I", round(60_000_000 / bpm))[1:])


def name(text):
    return (0, b"\xff\x03" + vlq(len(text)) + text.encode())


def notes(spec):
    """spec: (start beat, length in beats, MIDI note); channel 1, velocity 100."""
    events = []
    for start, length, note in spec:
        events.append((round(start * PPQ), bytes([0x90, note, 100])))
        events.append((round((start + length) * PPQ), bytes([0x80, note, 0])))
    return events


def midi_file(tracks):
    header = b"MThd" + struct.pack(">IHHH", 6, 1, len(tracks), PPQ)
    return header + b"".join(track(t) for t in tracks)


def demo():
    # A minor phrase: detached notes, a legato run (overlapping keys only
    # change the pitch), a held note with its release, and a slower ending.
    phrase = [
        (0.0, 0.9, 57), (1.0, 0.9, 60), (2.0, 0.9, 64), (3.0, 1.8, 69),
        (5.0, 0.55, 67), (5.5, 0.55, 65), (6.0, 0.55, 64), (6.5, 1.4, 62),
        (8.0, 0.45, 64), (8.5, 0.45, 60), (9.0, 0.9, 59), (10.0, 3.0, 57),
    ]
    conductor = [name("Tessivox demo"), tempo(0, 112), tempo(9 * PPQ, 84)]
    # A program change and a GM reset: neither changes the sound.
    extras = [(0, b"\xc0\x50"), (0, b"\xf0\x05\x7e\x7f\x09\x01\xf7")]
    return midi_file([conductor, extras + notes(phrase) + [(14 * PPQ, b"\xff\x01\x03end")]])


def demo_pad():
    long_notes = [(0.0, 5.0, 45), (6.0, 5.0, 52), (12.0, 6.0, 40)]
    return midi_file([[name("Tessivox pad demo"), tempo(0, 120)], notes(long_notes)])


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "data")
    for file_name, data in (("demo.mid", demo()), ("demo_pad.mid", demo_pad())):
        with open(os.path.join(out, file_name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
