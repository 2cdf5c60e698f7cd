#!/usr/bin/python3
"""Writes the unusual and damaged MIDI files into hostile/ beside this
script (committed; byte by byte, no library). The fuzz corpus
fuzz/corpus/midi_file starts from copies of them.

    python3 tests/data/midi/make_hostile.py
"""
import os

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "hostile")
TEMPO = b"\x00\xff\x51\x03\x07\xa1\x20"  # 500000 us per quarter note
EOT = b"\x00\xff\x2f\x00"
NOTE = b"\x00\x90\x45\x64\x83\x60\x80\x45\x40"  # A4 on, off 480 ticks later


def header(fmt=0, tracks=1, division=480, size=6):
    return b"MThd" + size.to_bytes(4, "big") + fmt.to_bytes(2, "big") + tracks.to_bytes(2, "big") \
        + division.to_bytes(2, "big")


def trk(body):
    return b"MTrk" + len(body).to_bytes(4, "big") + body


def vlq(n):
    out = [n & 0x7F]
    n >>= 7
    while n:
        out.insert(0, 0x80 | (n & 0x7F))
        n >>= 7
    return bytes(out)


FILES = {
    # Valid but unusual.
    "sysex_packets.mid": header() + trk(TEMPO + b"\x00\xf0\x03\x43\x12\x00" + b"\x00\xf7\x02\x01\xf7" + NOTE + EOT),
    "lone_f7_escape.mid": header() + trk(TEMPO + b"\x00\xf7\x01\xf8" + NOTE + EOT),
    "no_end_of_track.mid": header() + trk(TEMPO + NOTE),
    "trailing_bytes.mid": header() + trk(TEMPO + NOTE + EOT) + b"\x00\x00\x00\x0a\x0d",
    "smpte_25fps.mid": header(division=0xE728) + trk(vlq(1000) + b"\x90\x45\x64" + vlq(500) + b"\x80\x45\x40" + EOT),
    # 9 x (2^28 - 1) ticks (past 2^31) at 1 us per quarter note, 1000 ticks per quarter: 2.416 s.
    "ticks_past_2_31.mid": header(division=1000) + trk(
        b"\x00\xff\x51\x03\x00\x00\x01" + b"\xff\xff\xff\x7f\xff\x01\x00" * 8
        + b"\xff\xff\xff\x7f\x90\x45\x64\x00\x80\x45\x40" + EOT),
    "end_of_track_late.mid": header() + trk(TEMPO + NOTE + vlq(9600) + b"\xff\x2f\x00"),
    "long_header.mid": header(size=8) + b"\x00\x00" + trk(TEMPO + NOTE + EOT),
    "rmid.rmi": None,  # below
    # Refused.
    "running_status_after_sysex.mid": header() + trk(TEMPO + b"\x00\x90\x45\x64\x00\xf0\x01\xf7\x00\x45\x00" + EOT),
    "running_status_after_meta.mid": header() + trk(b"\x00\x90\x45\x64" + TEMPO + b"\x00\x45\x00" + EOT),
    "division_zero.mid": header(division=0) + trk(TEMPO + NOTE + EOT),
    "format_2.mid": header(fmt=2) + trk(TEMPO + NOTE + EOT),
    "too_long.mid": header(division=1) + trk(TEMPO + b"\xff\xff\xff\x7f\x90\x45\x64" + EOT),
    "long_delta.mid": header() + trk(TEMPO + b"\x81\x81\x81\x81\x01\x90\x45\x64" + EOT),
    "meta_past_track.mid": header() + trk(NOTE + b"\x00\xff\x01\x40abc"),
    "missing_track.mid": header(fmt=1, tracks=3) + trk(TEMPO + NOTE + EOT),
    "cut_message.mid": header() + trk(TEMPO + b"\x00\x90\x45"),
}
# Tempo changes at ticks 150 and 400 at 96 ticks per quarter; short notes
# with gaps at ticks 0, 100, 230, 333, 470 and 600.
melody, now = b"", 0
for t in (0, 100, 230, 333, 470, 600):
    melody += vlq(t - now) + b"\x90\x45\x64" + vlq(20) + b"\x80\x45\x00"
    now = t + 20
FILES["tempo_map.mid"] = header(fmt=1, tracks=2, division=96) + trk(
    TEMPO + vlq(150) + b"\xff\x51\x03\x05\x57\x30" + vlq(250) + b"\xff\x51\x03\x0b\xde\x31" + EOT) + trk(melody + EOT)
smf = header() + trk(TEMPO + NOTE + EOT)
riff = b"RMID" + b"LIST" + (3).to_bytes(4, "little") + b"abc\x00" + b"data" + len(smf).to_bytes(4, "little") + smf
FILES["rmid.rmi"] = b"RIFF" + len(riff).to_bytes(4, "little") + riff

os.makedirs(HERE, exist_ok=True)
for name, data in FILES.items():
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(data)
