#!/usr/bin/python3
"""Writes the MIDI test files beside this script (committed, so the tests
need no Python):

    /usr/bin/python3 tests/data/midi/make_fixtures.py   (Debian's python3-mido)

All files use 480 ticks per beat. Times below are in seconds at the file's
tempo (120 bpm unless said otherwise).
"""
import os

import mido

HERE = os.path.dirname(os.path.abspath(__file__))
TPB = 480


def track_of(events):
    """events: (absolute tick, message) pairs -> a track with delta times."""
    track = mido.MidiTrack()
    now = 0
    for tick, msg in sorted(events, key=lambda e: e[0]):
        track.append(msg.copy(time=tick - now))
        now = tick
    return track


def save(name, tracks, file_type):
    f = mido.MidiFile(type=file_type, ticks_per_beat=TPB)
    f.tracks.extend(tracks)
    f.save(os.path.join(HERE, name))


def note(tick_on, tick_off, n, channel=0, velocity=100):
    return [(tick_on, mido.Message("note_on", note=n, velocity=velocity, channel=channel)),
            (tick_off, mido.Message("note_off", note=n, velocity=0, channel=channel))]


def main():
    tempo = mido.MetaMessage("set_tempo", tempo=500000)  # 120 bpm: 480 ticks = 0.5 s

    # A4 from 0 to 0.5 s.
    save("one_note.mid", [track_of([(0, tempo)] + note(0, 480, 69))], 0)

    # C major scale C4..C5, one note each 0.25 s, each held 0.25 s (legato).
    scale = [60, 62, 64, 65, 67, 69, 71, 72]
    ev = [(0, tempo)]
    for i, n in enumerate(scale):
        ev += note(i * 240, (i + 1) * 240, n)
    save("scale.mid", [track_of(ev)], 0)

    # C4, E4, G4 struck together at 0, held 1 s.
    ev = [(0, tempo)]
    for n in (60, 64, 67):
        ev += note(0, 960, n)
    save("chord.mid", [track_of(ev)], 0)

    # Type 1: a tempo track (120 bpm, 60 bpm from tick 960 = 1.0 s) and two
    # note tracks on channels 0 and 1. Notes at ticks 0, 480, 960, 1440, 1920
    # sound at 0, 0.5, 1.0, 2.0, 3.0 s.
    conductor = track_of([(0, tempo), (960, mido.MetaMessage("set_tempo", tempo=1000000))])
    melody = []
    for i, n in enumerate((60, 62, 64, 65, 67)):
        melody += note(i * 480, i * 480 + 240, n)
    bass = note(0, 1920, 48, channel=1)
    save("tempo_two_tracks.mid", [conductor, track_of(melody), track_of(bass)], 1)

    # Running status written by hand: one note-on status byte, then data
    # pairs only; velocity-0 note-ons end the notes. Notes 60 and 64 at 0,
    # both ended at 0.5 s, then 67 from 0.5 s to 1.0 s.
    body = bytes([
        0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,  # tempo 500000
        0x00, 0x90, 60, 100,                       # note-on status once
        0x00, 64, 100,                             # running status
        0x83, 0x60, 60, 0,                         # +480: 60 off
        0x00, 64, 0,                               # 64 off
        0x00, 67, 90,                              # 67 on
        0x83, 0x60, 67, 0,                         # +480: 67 off
        0x00, 0xFF, 0x2F, 0x00,
    ])
    with open(os.path.join(HERE, "running_status.mid"), "wb") as f:
        f.write(b"MThd" + (6).to_bytes(4, "big") + (0).to_bytes(2, "big") + (1).to_bytes(2, "big")
                + TPB.to_bytes(2, "big"))
        f.write(b"MTrk" + len(body).to_bytes(4, "big") + body)

    # A tempo and nothing else.
    save("no_notes.mid", [track_of([(0, tempo)])], 0)

    # The scale cut off in the middle of its track.
    with open(os.path.join(HERE, "scale.mid"), "rb") as f:
        data = f.read()
    with open(os.path.join(HERE, "truncated.mid"), "wb") as f:
        f.write(data[: len(data) // 2])

    # Not a MIDI file at all, and one shorter than the 20-byte header.
    with open(os.path.join(HERE, "text.mid"), "w") as f:
        f.write("This is a text file with a .mid name, not a standard MIDI file.\n")
    with open(os.path.join(HERE, "short.mid"), "wb") as f:
        f.write(b"MThd\x00\x00\x00\x06\x00\x00")


if __name__ == "__main__":
    main()
