#!/usr/bin/env python3
"""Regenerates the example presets: start-up preset -> dump -> edits -> build.

    python3 examples/make_examples.py [path/to/kestrafon-cli]

Writes examples/NAME.json (the source) and examples/NAME.kfp (built from it).
Every example keeps the start-up sample rate of 22050 Hz; lengths are in
units of 1024 samples.
"""
import copy
import json
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)


def cli_path():
    if len(sys.argv) > 1:
        return sys.argv[1]
    return os.path.join(ROOT, "build", "src", "kestrafon-cli")


def start_up_preset(cli):
    with tempfile.TemporaryDirectory() as tmp:
        kfp = os.path.join(tmp, "start.kfp")
        subprocess.run([cli, "default-preset", "-o", kfp], check=True, stdout=subprocess.DEVNULL)
        out = subprocess.run([cli, "dump", kfp], check=True, stdout=subprocess.PIPE, text=True).stdout
    p = json.loads(out)
    # The start-up preset names the samples where this build found them;
    # the examples name them relative to the project root (the session falls
    # back to the bare name, then to the data directory, elsewhere).
    p["preset"]["sample1Path"] = "data/16tone3.smp"
    p["preset"]["sample2Path"] = "data/16tone2.smp"
    return p


def osc(p, k, **fields):
    """Switches oscillator k (1..10) on and sets its fields; the volume,
    frequency and shape lists are given as lists of source names."""
    o = p["timbre"]["oscillators"][k - 1]
    o["active"] = 1
    for key, value in fields.items():
        if key in ("volumeModulation", "frequencyModulation", "shapeModulation"):
            o[key]["sources"] = value
        else:
            o[key] = value


def envelope(p, n, attack=0, sustain=0, release=720, amplitude=1024, base=0, shape=256, iterations=1):
    bars = p["envelopeBars"]
    for name, value in (("Attack", attack), ("Sustain", sustain), ("Release", release),
                        ("Amplitude", amplitude), ("Base", base), ("Shape", shape),
                        ("Iterations", iterations)):
        bars["Env%d%sBar" % (n, name)] = value


def length(p, units):
    p["timbre"]["length"] = units
    p["timbre"]["renderLength"] = units * 1024


def notes(p, freqs):
    seq = p["noteSequencer"]
    seq["noteCount"] = len(freqs)
    for i, f in enumerate(freqs):
        seq["steps"][i] = {"frequency": f, "porta": 0, "tie": 0}


def bass(base):
    """Sequenced saw + sub-octave square, each step gated by the sequencer
    envelope, through a low-pass that closes with the same envelope."""
    p = copy.deepcopy(base)
    length(p, 44)  # 2.0 s
    # A2 A3 C3 C4 D3 D4 E3 G3 (the square doubles them an octave lower):
    # octave jumps over a minor-pentatonic walk.
    notes(p, [110, 220, 131, 262, 147, 294, 165, 196])
    p["envelopeSequencer"].update({"decayAngle": 60.0, "releaseStart": 190.0})
    osc(p, 1, waveForm="Saw", volume=20000, frequency=523,
        frequencyModulation=["None", "Seq"], volumeModulation=["None", "SEnv"])
    osc(p, 2, waveForm="Square", volume=12000, frequency=523, relativeFrequency=500,
        frequencyModulation=["None", "Seq"], volumeModulation=["None", "SEnv"])
    t = p["timbre"]
    t.update(cutOffActive=1, cutOffMode=0, cutOff=48, cutOffModulation=["None", "SEnv"])
    return p


def pad(base):
    """A Cmaj7 chord of two detuned saws and a triangle an octave up, slow
    swell, softened by the low-pass, with chorus and reverb."""
    p = copy.deepcopy(base)
    length(p, 64)  # 3.0 s
    t = p["timbre"]
    t.update(chordActive=1, chord="C-4,E-4,G-4,B-4")
    envelope(p, 1, attack=420, sustain=330, release=274, shape=256)
    osc(p, 1, waveForm="Saw", volume=3200, volumeModulation=["None", "Env1"])
    osc(p, 2, waveForm="Saw", volume=3200, relativeFrequency=1006, volumeModulation=["None", "Env1"])
    osc(p, 3, waveForm="Triangle", volume=2000, relativeFrequency=2000, volumeModulation=["None", "Env1"])
    t.update(cutOffActive=1, cutOffMode=0, cutOff=70)
    t.update(chorusActive=1, chorusVoices=3, chorusVolume=384, chorusMaxDelay=220, chorusVibratoRate=250)
    t.update(reverbActive=1, reverbLength=900, reverbWetVolume=3000, reverbAttack=25, reverbCutOff=160)
    return p


def hit(base):
    """A drum hit: a noise burst with a steep short envelope over a sine
    kick whose pitch falls from about 300 Hz to 50 Hz."""
    p = copy.deepcopy(base)
    length(p, 12)  # 0.56 s
    envelope(p, 1, release=170, shape=430)                # noise snap
    envelope(p, 2, release=260, amplitude=64, shape=460)  # pitch drop, +256 Hz at the start
    envelope(p, 3, release=760, shape=330)                # kick body
    osc(p, 1, waveForm="Noise", volume=13000, frequency=11025, flags=["Melodic"],
        volumeModulation=["None", "Env1"])
    osc(p, 2, waveForm="Sine", volume=25000, frequency=50,
        frequencyModulation=["None", "Env2"], volumeModulation=["None", "Env3"])
    return p


def pluck(base):
    """A plucked E4: saw plus a narrow pulse an octave up, instant attack and
    fast decay, through a low-pass whose cut-off falls with its own envelope."""
    p = copy.deepcopy(base)
    length(p, 24)  # 1.1 s
    envelope(p, 1, attack=2, release=760, shape=400)
    envelope(p, 2, release=300, amplitude=960, base=64, shape=400)
    osc(p, 1, waveForm="Saw", volume=22000, frequency=330, volumeModulation=["None", "Env1"])
    osc(p, 2, waveForm="Square", volume=7000, frequency=330, relativeFrequency=2000, shape=600,
        volumeModulation=["None", "Env1"])
    t = p["timbre"]
    t.update(cutOffActive=1, cutOffMode=0, cutOff=200, cutOffModulation=["None", "Env2"])
    return p


def sample(base):
    """The two shipped samples an octave apart: 16tone2 at its recorded speed
    (220.5 Hz), 16tone3 at 0.64 of its speed (110.2 Hz), with an echo ringing
    out in appended silence."""
    p = copy.deepcopy(base)
    length(p, 16)  # 0.74 s, 16tone2's own length, then 1 s of echo
    # A sample plays ten of its samples per cycle: 4410 Hz is the speed it
    # was recorded at (44100 Hz); 16tone2 repeats every 200 samples,
    # 16tone3 every 256.
    osc(p, 1, waveForm="Sample 2", volume=17000, frequency=4410)
    osc(p, 2, waveForm="Sample 1", volume=15000, frequency=2822)
    t = p["timbre"]
    t.update(feedBackActive=1, feedBackDelay=220, feedBackVolume=170, feedBackDecay=150,
             feedBackCutOff=150, additionalSilence=64)
    return p


def keys(base):
    """For playing from MIDI (live or render-midi): a saw and a quiet pulse
    an octave up that follow the notes, gated by the first MIDI envelope
    (quick attack, short decay to a held level, short release) through a
    low-pass; levels leave room for three voices at once."""
    p = copy.deepcopy(base)
    t = p["timbre"]
    t.update(midiEnv1Attack=2, midiEnv1Decay=40, midiEnv1Sustain=70, midiEnv1Release=60,
             midiEnv1Amplitude=32768)
    osc(p, 1, waveForm="Saw", volume=9000, volumeModulation=["MEnv1"])
    osc(p, 2, waveForm="Square", volume=3000, relativeFrequency=2000, shape=600,
        volumeModulation=["MEnv1"])
    t.update(cutOffActive=1, cutOffMode=0, cutOff=110)
    return p


EXAMPLES = {"bass": bass, "pad": pad, "hit": hit, "pluck": pluck, "sample": sample, "keys": keys}


def main():
    cli = cli_path()
    base = start_up_preset(cli)
    for name, make in EXAMPLES.items():
        src = os.path.join(HERE, name + ".json")
        with open(src, "w") as f:
            json.dump(make(base), f, indent=2, sort_keys=True)
            f.write("\n")
        subprocess.run([cli, "build", src, "-o", os.path.join(HERE, name + ".kfp")], check=True)
        print("built", name)


if __name__ == "__main__":
    main()
