#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes Sound/Kouka.mid: Brindle's cheerful event tune.

A 16-bar loop in C major at 132 beats per minute (about 29 seconds): a square-lead
melody on a pentatonic festival tune, an off-beat steel-guitar strum, an
"oom-pah" bass and a plain rock beat on channel 10. Every note ends inside the
loop and the end-of-track events fall exactly on the last bar line, so the
player can start it again from 0 without a gap or a hanging note.

The file is a format-1 Standard MIDI File; its bytes are written out here.
"""

import os
import struct

PPQ = 480
BPM = 132
BAR = 4 * PPQ
EIGHTH = PPQ // 2

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "Sound", "Kouka.mid")

NOTE = {"C": 0, "D": 2, "E": 4, "F": 5, "G": 7, "A": 9, "B": 11}


def pitch(name):
    """'C4' -> 60, 'F#3' -> 54."""
    step = NOTE[name[0]]
    rest = name[1:]
    if rest.startswith("#"):
        step += 1
        rest = rest[1:]
    elif rest.startswith("b"):
        step -= 1
        rest = rest[1:]
    return 12 * (int(rest) + 1) + step


# Melody: one string per bar, "note:eighths" separated by spaces; "r" is a rest.
MELODY = [
    "E5:1 G5:1 A5:1 G5:1 E5:1 D5:1 C5:2",
    "A4:2 C5:1 A4:1 G4:2 E4:2",
    "A4:1 A4:1 G4:1 A4:1 C5:2 A4:2",
    "G4:3 A4:1 G4:1 E4:1 D4:2",
    "E4:1 G4:1 A4:1 C5:1 D5:2 C5:2",
    "E5:2 D5:1 C5:1 A4:2 C5:2",
    "D5:1 C5:1 A4:1 C5:1 D5:2 G4:2",
    "C5:6 r:2",
    "A4:1 C5:1 D5:1 C5:1 A4:2 G4:2",
    "G4:1 A4:1 G4:1 E4:1 D4:4",
    "E4:1 G4:1 E4:1 G4:1 B4:2 A4:1 G4:1",
    "A4:2 C5:2 E5:4",
    "D5:1 C5:1 A4:1 C5:1 D5:1 E5:1 D5:1 C5:1",
    "D5:2 B4:1 G4:1 A4:2 B4:2",
    "C5:1 E5:1 D5:1 C5:1 G4:2 E4:2",
    "G4:1 A4:1 B4:1 C5:1 D5:2 r:2",
]

# Chords, one or two per bar (two share the bar in halves).
CHORDS = [
    ["C"], ["Am"], ["F"], ["G"],
    ["C"], ["Am"], ["Dm", "G"], ["C"],
    ["F"], ["G"], ["Em"], ["Am"],
    ["F"], ["G"], ["C"], ["G7"],
]

CHORD_NOTES = {
    "C": ["C4", "E4", "G4"],
    "Am": ["C4", "E4", "A4"],
    "F": ["C4", "F4", "A4"],
    "G": ["B3", "D4", "G4"],
    "G7": ["B3", "F4", "G4"],
    "Dm": ["D4", "F4", "A4"],
    "Em": ["B3", "E4", "G4"],
}
ROOT = {"C": "C2", "Am": "A1", "F": "F1", "G": "G1", "G7": "G1", "Dm": "D2", "Em": "E2"}

# General MIDI programs (0-based) and channels (0-based; 9 is the drum channel).
LEAD_CH, LEAD_PROG = 0, 80  # Lead 1 (square)
GTR_CH, GTR_PROG = 1, 25  # Acoustic guitar (steel)
BASS_CH, BASS_PROG = 2, 33  # Electric bass (finger)
DRUM_CH = 9
KICK, SNARE, HAT, OPEN_HAT, CRASH = 36, 38, 42, 46, 49


def melody_events():
    ev = []
    t = 0
    for bar in MELODY:
        start = t
        for tok in bar.split():
            name, n = tok.split(":")
            length = int(n) * EIGHTH
            if name != "r":
                # Slightly detached notes give the tune its bounce.
                ev.append((t, t + length - 40, LEAD_CH, pitch(name), 96))
            t += length
        assert t - start == BAR, bar
    return ev


def guitar_events():
    ev = []
    for b, chords in enumerate(CHORDS):
        part = BAR // len(chords)
        for i, ch in enumerate(chords):
            base = b * BAR + i * part
            for off in range(EIGHTH, part, PPQ):
                for j, n in enumerate(CHORD_NOTES[ch]):
                    on = base + off + j * 6  # a quick downward strum
                    ev.append((on, base + off + EIGHTH - 30, GTR_CH, pitch(n), 68))
    return ev


def bass_events():
    ev = []
    for b, chords in enumerate(CHORDS):
        part = BAR // len(chords)
        for i, ch in enumerate(chords):
            root = pitch(ROOT[ch])
            base = b * BAR + i * part
            for k, off in enumerate(range(0, part, PPQ)):
                note = root if k % 2 == 0 else root + 7
                ev.append((base + off, base + off + PPQ - 60, BASS_CH, note, 100))
    return ev


def drum_events():
    ev = []
    hit = 100

    def d(t, note, vel):
        ev.append((t, t + 100, DRUM_CH, note, vel))

    for b in range(len(CHORDS)):
        base = b * BAR
        if b % 8 == 0:
            d(base, CRASH, 100)
        for beat in range(4):
            t = base + beat * PPQ
            if beat in (0, 2):
                d(t, KICK, hit)
            else:
                d(t, SNARE, 92)
            last_beat_of_phrase = b % 4 == 3 and beat == 3
            d(t, HAT, 64)
            if last_beat_of_phrase:
                d(t + EIGHTH, SNARE, 80)
                d(t + EIGHTH + EIGHTH // 2, SNARE, 88)
            else:
                d(t + EIGHTH, OPEN_HAT if beat == 3 else HAT, 52)
        if b % 2 == 1:
            d(base + 2 * PPQ + EIGHTH, KICK, 84)
    return ev


def vlq(n):
    out = [n & 0x7F]
    n >>= 7
    while n:
        out.append(0x80 | (n & 0x7F))
        n >>= 7
    return bytes(reversed(out))


def track(events, end):
    """events: (tick, order, bytes). Returns an MTrk chunk ending at `end`."""
    events = sorted(events, key=lambda e: (e[0], e[1]))
    data = bytearray()
    now = 0
    for t, _, msg in events:
        assert t <= end
        data += vlq(t - now) + msg
        now = t
    data += vlq(end - now) + b"\xff\x2f\x00"
    return b"MTrk" + struct.pack(">I", len(data)) + bytes(data)


def note_track(name, ch, prog, notes, end, volume=100, pan=64):
    ev = [
        (0, 0, b"\xff\x03" + vlq(len(name)) + name.encode("ascii")),
        (0, 1, bytes((0xC0 | ch, prog))),
        (0, 2, bytes((0xB0 | ch, 7, volume))),
        (0, 3, bytes((0xB0 | ch, 10, pan))),
    ]
    for on, off, c, n, v in notes:
        assert 0 <= on < off <= end, (on, off)
        # Note-offs sort before note-ons at the same tick so repeated notes re-strike.
        ev.append((on, 10, bytes((0x90 | c, n, v))))
        ev.append((off, 5, bytes((0x80 | c, n, 64))))
    return track(ev, end)


def main():
    end = len(CHORDS) * BAR
    tempo = round(60_000_000 / BPM)
    conductor = track(
        [
            (0, 0, b"\xff\x03\x05Kouka"),
            (0, 1, b"\xff\x58\x04\x04\x02\x18\x08"),
            (0, 2, b"\xff\x51\x03" + tempo.to_bytes(3, "big")),
        ],
        end,
    )
    tracks = [
        conductor,
        note_track("Lead", LEAD_CH, LEAD_PROG, melody_events(), end, 100, 64),
        note_track("Guitar", GTR_CH, GTR_PROG, guitar_events(), end, 80, 44),
        note_track("Bass", BASS_CH, BASS_PROG, bass_events(), end, 104, 64),
        note_track("Drums", DRUM_CH, 0, drum_events(), end, 96, 64),
    ]
    data = b"MThd" + struct.pack(">IHHH", 6, 1, len(tracks), PPQ) + b"".join(tracks)
    os.makedirs(os.path.dirname(OUT), exist_ok=True)
    with open(OUT, "wb") as f:
        f.write(data)
    print(f"{OUT}: {len(data)} bytes, {end / PPQ * 60 / BPM:.2f} s")


if __name__ == "__main__":
    main()
