#!/usr/bin/env python3
"""Regenerates the factory bank's JSON sources: start-up preset -> edits.

    python3 data/presets/make_bank.py [path/to/kestrafon-cli]

Writes data/presets/CATEGORY/NAME.json. The build turns each into a .kfp
with `kestrafon-cli build`; the window's Presets menu lists them by
category. Every preset keeps the start-up rate of 22050 Hz; lengths are in
units of 1024 samples (21.5 units to the second).

After the edits each preset is rendered and its oscillator levels scaled
so that the peak lies between -2.5 and -1 dBFS: no preset clips, and
switching between them keeps a similar loudness.
"""
import copy
import json
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "examples"))
from make_examples import envelope, length, notes, osc, start_up_preset  # noqa: E402

BANK = []


def preset(category, name):
    def register(make):
        BANK.append((category, name, make))
        return make
    return register


def lfo(p, n, frequency, amplitude, shape="Sine", base=0, phase=0):
    shapes = {"Sine": 0, "Triangle": 3, "Random": 6}
    p["timbre"].update({"lfo%dFrequency" % n: frequency, "lfo%dAmplitude" % n: amplitude,
                        "lfo%dShape" % n: shapes[shape], "lfo%dBase" % n: base, "lfo%dPhase" % n: phase})


def lowpass(p, cut, sources=("None",), mode=0):
    p["timbre"].update(cutOffActive=1, cutOffMode=mode, cutOff=cut, cutOffModulation=list(sources))


def reverb(p, length=700, wet=2500, attack=25, cut=160):
    p["timbre"].update(reverbActive=1, reverbLength=length, reverbWetVolume=wet, reverbAttack=attack,
                       reverbCutOff=cut)


def gates(p, decay=60.0, release_start=190.0):
    p["envelopeSequencer"].update({"decayAngle": decay, "releaseStart": release_start})


# ---- bass -------------------------------------------------------------------

@preset("bass", "saw_sub_bass")
def _(p):
    """E minor walk: saw plus a square an octave down, gated per step."""
    length(p, 44)
    notes(p, [82, 82, 98, 110, 82, 123, 110, 98])
    gates(p)
    osc(p, 1, waveForm="Saw", volume=16000, frequency=523, frequencyModulation=["None", "Seq"],
        volumeModulation=["None", "SEnv"])
    osc(p, 2, waveForm="Square", volume=10000, frequency=523, relativeFrequency=500,
        frequencyModulation=["None", "Seq"], volumeModulation=["None", "SEnv"])
    lowpass(p, 60, ["None", "SEnv"])


@preset("bass", "deep_sine_bass")
def _(p):
    """One long A1 (55 Hz) sine with a soft second harmonic, slow decay."""
    length(p, 32)
    envelope(p, 1, attack=10, release=900, shape=300)
    osc(p, 1, waveForm="Sine", volume=24000, frequency=55, volumeModulation=["None", "Env1"])
    osc(p, 2, waveForm="Sine", volume=6000, frequency=55, relativeFrequency=2000, volumeModulation=["None", "Env1"])


@preset("bass", "square_octave_bass")
def _(p):
    """Octave-jumping square bass in C, hollow and buzzy."""
    length(p, 44)
    notes(p, [65, 131, 65, 131, 87, 175, 98, 196])
    gates(p, decay=45.0)
    osc(p, 1, waveForm="Square", volume=14000, frequency=523, frequencyModulation=["None", "Seq"],
        volumeModulation=["None", "SEnv"])
    lowpass(p, 90)


@preset("bass", "plucked_filter_bass")
def _(p):
    """Single G1 saw whose low-pass closes fast: a round, plucky attack."""
    length(p, 20)
    envelope(p, 1, attack=2, release=800, shape=380)
    envelope(p, 2, release=250, amplitude=900, base=40, shape=420)
    osc(p, 1, waveForm="Saw", volume=20000, frequency=49, volumeModulation=["None", "Env1"])
    osc(p, 2, waveForm="Saw", volume=12000, frequency=49, relativeFrequency=1004, volumeModulation=["None", "Env1"])
    lowpass(p, 30, ["None", "Env2"])


@preset("bass", "pulsing_saw_bass")
def _(p):
    """An A1 saw pair whose level an LFO pulses four times a second."""
    length(p, 43)
    lfo(p, 1, frequency=64, amplitude=2867, base=166)
    osc(p, 1, waveForm="Saw", volume=14000, frequency=55, volumeModulation=["None", "LFO1"])
    osc(p, 2, waveForm="2xSaw", volume=9000, frequency=55, relativeFrequency=500, volumeModulation=["None", "LFO1"])
    lowpass(p, 60)


# ---- lead -------------------------------------------------------------------

@preset("lead", "detuned_saw_lead")
def _(p):
    """Two detuned saws at A4 with a gentle vibrato and a held note."""
    length(p, 43)
    envelope(p, 1, attack=30, sustain=700, release=250)
    lfo(p, 1, frequency=88, amplitude=12)
    for k, rel in ((1, 1000), (2, 1008)):
        osc(p, k, waveForm="Saw", volume=11000, frequency=440, relativeFrequency=rel,
            frequencyModulation=["None", "LFO1"], volumeModulation=["None", "Env1"])
    lowpass(p, 160)


@preset("lead", "chiptune_square_lead")
def _(p):
    """An eight-bit melody on a square: C E G C' B G E D."""
    length(p, 44)
    notes(p, [523, 659, 784, 1047, 988, 784, 659, 587])
    gates(p, decay=30.0, release_start=200.0)
    osc(p, 1, waveForm="Square", volume=12000, frequency=523, frequencyModulation=["None", "Seq"],
        volumeModulation=["None", "SEnv"])


@preset("lead", "soft_sine_whistle")
def _(p):
    """A whistled E5 sine with slow vibrato and a soft swell."""
    length(p, 43)
    envelope(p, 1, attack=200, sustain=500, release=300)
    lfo(p, 1, frequency=80, amplitude=20)
    osc(p, 1, waveForm="Sine", volume=24000, frequency=659, frequencyModulation=["None", "LFO1"],
        volumeModulation=["None", "Env1"])
    osc(p, 2, waveForm="Sine", volume=2500, frequency=659, relativeFrequency=2000,
        frequencyModulation=["None", "LFO1"], volumeModulation=["None", "Env1"])


@preset("lead", "overdriven_saw_lead")
def _(p):
    """A hard-edged D5 lead: saw, pulse and a touch of overdrive."""
    length(p, 32)
    envelope(p, 1, attack=10, sustain=600, release=350)
    osc(p, 1, waveForm="Saw", volume=9000, frequency=587, volumeModulation=["None", "Env1"])
    osc(p, 2, waveForm="Square", volume=6000, frequency=587, relativeFrequency=2003, shape=500,
        volumeModulation=["None", "Env1"])
    p["timbre"].update(preOverdrive=32)
    lowpass(p, 150)


# ---- keys -------------------------------------------------------------------

@preset("keys", "electric_piano")
def _(p):
    """A C4-E4-G4 chord of sine tines with a bell-like octave, fading out."""
    length(p, 43)
    p["timbre"].update(chordActive=1, chord="C-4,E-4,G-4")
    envelope(p, 1, attack=2, release=900, shape=420)
    envelope(p, 2, release=300, shape=440)
    osc(p, 1, waveForm="Sine", volume=7000, volumeModulation=["None", "Env1"])
    osc(p, 2, waveForm="Sine", volume=2500, relativeFrequency=4000, volumeModulation=["None", "Env2"])
    osc(p, 3, waveForm="Triangle", volume=1500, relativeFrequency=2000, volumeModulation=["None", "Env1"])


@preset("keys", "drawbar_organ")
def _(p):
    """Held G3 organ: sines at 1, 2, 3 and 4 times, steady with a short release."""
    length(p, 43)
    envelope(p, 1, attack=8, sustain=950, release=40)
    for k, rel, vol in ((1, 500, 6000), (2, 1000, 8000), (3, 1500, 5000), (4, 2000, 4000), (5, 4000, 2500)):
        osc(p, k, waveForm="Sine", volume=vol, frequency=392, relativeFrequency=rel, volumeModulation=["None", "Env1"])
    lfo(p, 1, frequency=100, amplitude=3)
    p["timbre"]["oscillators"][1]["frequencyModulation"]["sources"] = ["None", "LFO1"]


@preset("keys", "glass_bell")
def _(p):
    """A struck C6 bell: inharmonic sine partials that die away at different speeds."""
    length(p, 64)
    envelope(p, 1, attack=1, release=1000, shape=460)
    envelope(p, 2, attack=1, release=500, shape=470)
    envelope(p, 3, attack=1, release=200, shape=480)
    osc(p, 1, waveForm="Sine", volume=12000, frequency=1047, volumeModulation=["None", "Env1"])
    osc(p, 2, waveForm="Sine", volume=7000, frequency=1047, relativeFrequency=2756, volumeModulation=["None", "Env2"])
    osc(p, 3, waveForm="Sine", volume=4000, frequency=5658, volumeModulation=["None", "Env3"])
    osc(p, 4, waveForm="Sine", volume=5000, frequency=1047, relativeFrequency=500, volumeModulation=["None", "Env1"])
    reverb(p, length=800, wet=1800)


@preset("keys", "music_box")
def _(p):
    """A high triangle tune, each note a short ping with a little room."""
    length(p, 56)
    notes(p, [1047, 1319, 1568, 1319, 1175, 1568, 2093, 1568])
    gates(p, decay=20.0, release_start=100.0)
    osc(p, 1, waveForm="Triangle", volume=15000, frequency=523, frequencyModulation=["None", "Seq"],
        volumeModulation=["None", "SEnv"])
    osc(p, 2, waveForm="Sine", volume=4000, frequency=523, relativeFrequency=3000,
        frequencyModulation=["None", "Seq"], volumeModulation=["None", "SEnv"])
    reverb(p, length=600, wet=2000)


# ---- pad --------------------------------------------------------------------

@preset("pad", "warm_string_pad")
def _(p):
    """An A minor chord of detuned saws, slow swell, chorus and reverb."""
    length(p, 64)
    p["timbre"].update(chordActive=1, chord="A-3,C-4,E-4,A-4")
    envelope(p, 1, attack=450, sustain=300, release=250)
    osc(p, 1, waveForm="Saw", volume=2800, volumeModulation=["None", "Env1"])
    osc(p, 2, waveForm="Saw", volume=2800, relativeFrequency=1007, volumeModulation=["None", "Env1"])
    osc(p, 3, waveForm="Saw", volume=2800, relativeFrequency=993, volumeModulation=["None", "Env1"])
    lowpass(p, 80)
    p["timbre"].update(chorusActive=1, chorusVoices=3, chorusVolume=384, chorusMaxDelay=220, chorusVibratoRate=250)
    reverb(p, length=900, wet=3000)


@preset("pad", "dark_drone_pad")
def _(p):
    """Low D2 and A2 triangles swelling slowly under a closed filter."""
    length(p, 86)
    envelope(p, 1, attack=400, sustain=400, release=200)
    osc(p, 1, waveForm="Triangle", volume=9000, frequency=73, volumeModulation=["None", "Env1"])
    osc(p, 2, waveForm="Triangle", volume=7000, frequency=110, volumeModulation=["None", "Env1"])
    osc(p, 3, waveForm="Saw", volume=3000, frequency=73, relativeFrequency=1003, volumeModulation=["None", "Env1"])
    lowpass(p, 45)
    reverb(p, length=1000, wet=3000)


@preset("pad", "shimmer_pad")
def _(p):
    """A bright F major 7 of saws and sines, swept by a slow flanger."""
    length(p, 64)
    p["timbre"].update(chordActive=1, chord="F-4,A-4,C-5,E-5")
    envelope(p, 1, attack=350, sustain=400, release=250)
    osc(p, 1, waveForm="Saw", volume=2200, volumeModulation=["None", "Env1"])
    osc(p, 2, waveForm="Sine", volume=2500, relativeFrequency=2000, volumeModulation=["None", "Env1"])
    p["timbre"].update(flangerActive=1, flangerMinDelay=2, flangerMaxDelay=40, flangerRate=30)
    reverb(p, length=900, wet=3500)


@preset("pad", "choir_ahh_pad")
def _(p):
    """A soft C minor chord of |sine| voices with vibrato, like a distant choir."""
    length(p, 64)
    p["timbre"].update(chordActive=1, chord="C-4,D#4,G-4")
    envelope(p, 1, attack=500, sustain=300, release=200)
    lfo(p, 1, frequency=90, amplitude=6)
    osc(p, 1, waveForm="|Sine|", volume=4000, frequencyModulation=["None", "LFO1"], volumeModulation=["None", "Env1"])
    osc(p, 2, waveForm="Sine", volume=3000, relativeFrequency=1004, volumeModulation=["None", "Env1"])
    lowpass(p, 70)
    p["timbre"].update(chorusActive=1, chorusVoices=4, chorusVolume=400, chorusMaxDelay=250, chorusVibratoRate=200)
    reverb(p, length=900, wet=3000)


# ---- pluck ------------------------------------------------------------------

@preset("pluck", "harp_pluck")
def _(p):
    """A rising G major arpeggio of plucked triangles with room."""
    length(p, 48)
    notes(p, [392, 494, 587, 784, 988, 1175, 1568, 1175])
    gates(p, decay=25.0, release_start=120.0)
    osc(p, 1, waveForm="Triangle", volume=14000, frequency=523, frequencyModulation=["None", "Seq"],
        volumeModulation=["None", "SEnv"])
    osc(p, 2, waveForm="Saw", volume=3000, frequency=523, frequencyModulation=["None", "Seq"],
        volumeModulation=["None", "SEnv"])
    lowpass(p, 140)
    reverb(p, length=700, wet=2500)


@preset("pluck", "muted_guitar")
def _(p):
    """A palm-muted A2: saw through a low-pass that shuts almost at once."""
    length(p, 14)
    envelope(p, 1, attack=1, release=500, shape=430)
    envelope(p, 2, release=120, amplitude=800, base=30, shape=430)
    osc(p, 1, waveForm="Saw", volume=20000, frequency=110, volumeModulation=["None", "Env1"])
    osc(p, 2, waveForm="Square", volume=6000, frequency=110, relativeFrequency=1000, shape=700,
        volumeModulation=["None", "Env1"])
    lowpass(p, 20, ["None", "Env2"])


@preset("pluck", "marimba")
def _(p):
    """A wooden F4 bar: sine with a quick fourth partial and a short tail."""
    length(p, 20)
    envelope(p, 1, attack=1, release=700, shape=440)
    envelope(p, 2, attack=1, release=120, shape=460)
    osc(p, 1, waveForm="Sine", volume=22000, frequency=349, volumeModulation=["None", "Env1"])
    osc(p, 2, waveForm="Sine", volume=8000, frequency=349, relativeFrequency=4000, volumeModulation=["None", "Env2"])


@preset("pluck", "pizzicato_strings")
def _(p):
    """Plucked string section on D minor steps, short and woody."""
    length(p, 44)
    notes(p, [294, 349, 440, 587, 440, 349, 294, 220])
    gates(p, decay=22.0, release_start=90.0)
    osc(p, 1, waveForm="Saw", volume=9000, frequency=523, frequencyModulation=["None", "Seq"],
        volumeModulation=["None", "SEnv"])
    osc(p, 2, waveForm="Saw", volume=9000, frequency=523, relativeFrequency=1006,
        frequencyModulation=["None", "Seq"], volumeModulation=["None", "SEnv"])
    lowpass(p, 90)
    reverb(p, length=500, wet=2000)


# ---- percussion -------------------------------------------------------------

@preset("percussion", "kick_drum")
def _(p):
    """A deep kick: sine falling from about 200 Hz to 45 Hz with a click."""
    length(p, 12)
    envelope(p, 1, release=60, shape=400)
    envelope(p, 2, release=200, amplitude=40, shape=470)
    envelope(p, 3, release=800, shape=340)
    osc(p, 1, waveForm="Noise", volume=4000, frequency=11025, flags=["Melodic"], volumeModulation=["None", "Env1"])
    osc(p, 2, waveForm="Sine", volume=28000, frequency=45, frequencyModulation=["None", "Env2"],
        volumeModulation=["None", "Env3"])


@preset("percussion", "snare_drum")
def _(p):
    """A snare: a bright noise burst over a short 190 Hz body."""
    length(p, 10)
    envelope(p, 1, release=600, shape=420)
    envelope(p, 2, release=300, shape=420)
    osc(p, 1, waveForm="Noise", volume=16000, frequency=11025, flags=["Melodic"], volumeModulation=["None", "Env1"])
    osc(p, 2, waveForm="Triangle", volume=14000, frequency=190, volumeModulation=["None", "Env2"])


@preset("percussion", "closed_hihat")
def _(p):
    """A tight closed hi-hat: high-passed noise, very short."""
    length(p, 4)
    envelope(p, 1, release=500, shape=450)
    osc(p, 1, waveForm="Noise", volume=20000, frequency=11025, volumeModulation=["None", "Env1"])
    lowpass(p, 180, mode=1)


@preset("percussion", "open_hihat")
def _(p):
    """An open hi-hat: high-passed noise ringing for half a second."""
    length(p, 12)
    envelope(p, 1, release=900, shape=380)
    osc(p, 1, waveForm="Noise", volume=18000, frequency=11025, volumeModulation=["None", "Env1"])
    lowpass(p, 170, mode=1)


@preset("percussion", "low_tom")
def _(p):
    """A low tom: sine dropping from 140 to 90 Hz with a soft decay."""
    length(p, 16)
    envelope(p, 2, release=300, amplitude=13, shape=440)
    envelope(p, 3, release=850, shape=360)
    osc(p, 1, waveForm="Sine", volume=26000, frequency=90, frequencyModulation=["None", "Env2"],
        volumeModulation=["None", "Env3"])
    osc(p, 2, waveForm="Noise", volume=2500, frequency=11025, flags=["Melodic"], volumeModulation=["None", "Env3"])


@preset("percussion", "hand_clap")
def _(p):
    """A hand clap: three quick noise bursts, band-limited, with a short tail."""
    length(p, 8)
    envelope(p, 1, release=700, shape=450, iterations=4)
    envelope(p, 2, release=900, shape=400)
    osc(p, 1, waveForm="Noise", volume=20000, frequency=11025, volumeModulation=["None", "Env1", "Env2"])
    lowpass(p, 140)


# ---- effects ----------------------------------------------------------------

@preset("effects", "coin_pickup")
def _(p):
    """The classic coin: a square blip B5 then E6."""
    length(p, 8)
    notes(p, [988, 1319, 1319, 1319])
    gates(p, decay=80.0, release_start=230.0)
    envelope(p, 1, release=1000, shape=300)
    osc(p, 1, waveForm="Square", volume=12000, frequency=523, frequencyModulation=["None", "Seq"],
        volumeModulation=["None", "Env1"])


@preset("effects", "laser_zap")
def _(p):
    """A laser: a square diving from about 2 kHz to 200 Hz in a quarter second."""
    length(p, 6)
    envelope(p, 1, release=1000, shape=300)
    envelope(p, 2, release=900, amplitude=450, shape=430)
    osc(p, 1, waveForm="Square", volume=11000, frequency=200, frequencyModulation=["None", "Env2"],
        volumeModulation=["None", "Env1"])
    osc(p, 2, waveForm="Saw", volume=6000, frequency=203, frequencyModulation=["None", "Env2"],
        volumeModulation=["None", "Env1"])


@preset("effects", "jump")
def _(p):
    """A platform-game jump: a square sliding up from 250 to 750 Hz."""
    length(p, 6)
    envelope(p, 1, release=1000, shape=256)
    envelope(p, 2, attack=1000, amplitude=125, shape=256)
    osc(p, 1, waveForm="Square", volume=11000, frequency=250, shape=700, frequencyModulation=["None", "Env2"],
        volumeModulation=["None", "Env1"])


@preset("effects", "explosion")
def _(p):
    """An explosion: a low noise roar that falls and rumbles away."""
    length(p, 43)
    envelope(p, 1, attack=5, release=950, shape=420)
    envelope(p, 2, release=800, amplitude=500, base=15, shape=440)
    osc(p, 1, waveForm="Noise", volume=26000, frequency=11025, volumeModulation=["None", "Env1"])
    osc(p, 2, waveForm="Noise", volume=20000, frequency=600, volumeModulation=["None", "Env1"])
    lowpass(p, 30, ["None", "Env2"])
    reverb(p, length=700, wet=1500)


@preset("effects", "alarm_siren")
def _(p):
    """A siren: a square wailing between about 600 and 1200 Hz twice a second."""
    length(p, 64)
    lfo(p, 1, frequency=32, amplitude=600, shape="Triangle")
    osc(p, 1, waveForm="Square", volume=9000, frequency=900, frequencyModulation=["None", "LFO1"])
    lowpass(p, 170)


@preset("effects", "power_up")
def _(p):
    """A power-up: a fast rising C major arpeggio on a square."""
    length(p, 16)
    notes(p, [523, 659, 784, 1047, 1319, 1568, 2093, 2637])
    gates(p, decay=50.0, release_start=220.0)
    osc(p, 1, waveForm="Square", volume=11000, frequency=523, frequencyModulation=["None", "Seq"],
        volumeModulation=["None", "SEnv"])


@preset("effects", "wind")
def _(p):
    """Wind: low-passed noise in gusts that a slow random LFO shapes."""
    length(p, 86)
    lfo(p, 1, frequency=24, amplitude=2867, base=166, shape="Random")
    osc(p, 1, waveForm="Noise", volume=22000, frequency=11025, volumeModulation=["None", "LFO1"])
    lowpass(p, 40)


@preset("effects", "flying_saucer_warble")
def _(p):
    """A flying saucer: a sine warbling fast around 700 Hz, rising slowly."""
    length(p, 64)
    lfo(p, 1, frequency=160, amplitude=150)
    envelope(p, 2, attack=1000, amplitude=80, shape=256)
    envelope(p, 1, attack=100, sustain=700, release=200)
    osc(p, 1, waveForm="Sine", volume=20000, frequency=700, frequencyModulation=["None", "LFO1", "Env2"],
        volumeModulation=["None", "Env1"])
    reverb(p, length=600, wet=2000)


# ---- showcase: the sequencer, the chord and the samples ---------------------

@preset("showcase", "sequenced_arpeggio")
def _(p):
    """The sequencer at work: sixteen steps of an A minor arpeggio with glides."""
    length(p, 88)
    seq = [220, 262, 330, 440, 330, 262, 220, 165, 175, 220, 262, 349, 262, 220, 175, 196]
    notes(p, seq)
    for i in (7, 15):
        p["noteSequencer"]["steps"][i]["porta"] = 1
    gates(p, decay=40.0, release_start=200.0)
    osc(p, 1, waveForm="Saw", volume=10000, frequency=523, frequencyModulation=["None", "Seq"],
        volumeModulation=["None", "SEnv"])
    osc(p, 2, waveForm="Square", volume=5000, frequency=523, relativeFrequency=2000, shape=600,
        frequencyModulation=["None", "Seq"], volumeModulation=["None", "SEnv"])
    lowpass(p, 100)
    reverb(p, length=600, wet=2000)


@preset("showcase", "chord_stab")
def _(p):
    """The chord at work: a short bright D major 9 stab with room."""
    length(p, 24)
    p["timbre"].update(chordActive=1, chord="D-4,F#4,A-4,E-5")
    envelope(p, 1, attack=2, release=500, shape=400)
    osc(p, 1, waveForm="Saw", volume=3500, volumeModulation=["None", "Env1"])
    osc(p, 2, waveForm="Square", volume=2000, relativeFrequency=2000, shape=600, volumeModulation=["None", "Env1"])
    lowpass(p, 150)
    reverb(p, length=700, wet=2500)


@preset("showcase", "sample_octaves")
def _(p):
    """The samples at work: both shipped tones an octave apart, with an echo."""
    length(p, 16)
    p["preset"]["sample1Path"] = "16tone3.smp"
    p["preset"]["sample2Path"] = "16tone2.smp"
    osc(p, 1, waveForm="Sample 2", volume=15000, frequency=4410)
    osc(p, 2, waveForm="Sample 1", volume=13000, frequency=2822)
    p["timbre"].update(feedBackActive=1, feedBackDelay=200, feedBackVolume=160, feedBackDecay=150,
                       feedBackCutOff=150, additionalSilence=64)


# ---- levels -----------------------------------------------------------------

TARGET_LOW, TARGET_HIGH = 24500, 29200   # -2.5 .. -1 dBFS


def peak(cli, source):
    with tempfile.TemporaryDirectory() as tmp:
        kfp, raw = os.path.join(tmp, "p.kfp"), os.path.join(tmp, "p.raw")
        subprocess.run([cli, "build", source, "-o", kfp], check=True, stdout=subprocess.DEVNULL)
        subprocess.run([cli, "render", kfp, "-o", raw, "--format", "raw-intel"], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, cwd=HERE)
        data = open(raw, "rb").read()
    values = [int.from_bytes(data[i:i + 2], "little", signed=True) for i in range(0, len(data), 2)]
    return max(abs(v) for v in values)


def level(cli, p, source):
    """Scales the active oscillators' volumes until the peak sits in range."""
    for _ in range(6):
        with open(source, "w") as f:
            json.dump(p, f, indent=2, sort_keys=True)
            f.write("\n")
        top = peak(cli, source)
        if TARGET_LOW <= top <= TARGET_HIGH or top == 0:
            return top
        factor = 27000.0 / top
        for o in p["timbre"]["oscillators"]:
            if o["active"]:
                o["volume"] = max(1, min(32767, int(round(o["volume"] * factor))))
    return top


def main():
    cli = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build", "src", "kestrafon-cli")
    base = start_up_preset(cli)
    base["preset"]["sample1Path"] = "16tone3.smp"
    base["preset"]["sample2Path"] = "16tone2.smp"
    only = sys.argv[2:]
    for category, name, make in BANK:
        if only and name not in only:
            continue
        p = copy.deepcopy(base)
        make(p)
        os.makedirs(os.path.join(HERE, category), exist_ok=True)
        source = os.path.join(HERE, category, name + ".json")
        print("%-12s %-22s peak %d" % (category, name, level(cli, p, source)))


if __name__ == "__main__":
    main()
