#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/midi_render.h"
#include "core/session.h"
#include "core/voice_engine.h"
#include "engine/arith.h"

using namespace kf;

namespace {

const std::string kRoot = KF_TEST_SOURCE_DIR;

std::vector<MidiFileEvent> midi(const std::string& name) {
    std::vector<MidiFileEvent> ev;
    Status st = readMidiFile(kRoot + "/tests/data/midi/" + name, ev);
    EXPECT_TRUE(st.ok) << st.message;
    return ev;
}

uint32_t on(int note, int vel = 100) { return 0x90u | unsigned(note) << 8 | unsigned(vel) << 16; }

// Oscillator 1 alone: a sine that follows the notes, at 22050 Hz.
void sineTimbre(Session& s) {
    s.params().selectOscillator(0);
    s.params().set(ParamId::Active1, 1);
    s.params().set(ParamId::OscWaveForm, kWaveSine);
    s.render().renderClick();
    s.render().waitForRender();
}

// A square gated by MIDI envelope 1 with no attack or release.
void gatedSquareTimbre(Session& s) {
    sineTimbre(s);
    s.params().set(ParamId::OscWaveForm, kWaveSquare);
    s.params().set(ParamId::OscVolumeModulation, srcBit(kSrcMEnv1));
    s.params().set(ParamId::MidiEnv1Attack, 0);
    s.params().set(ParamId::MidiEnv1Release, 0);
    s.render().waitForRender();
}

std::vector<int16_t> render(Session& s, const std::vector<MidiFileEvent>& ev, MidiRenderOptions o,
                            MidiRenderResult* result = nullptr) {
    std::vector<int16_t> out;
    Status st = renderMidiEvents(
        s, ev, o,
        [&](SoundBuffer b) {
            out.insert(out.end(), b.samples, b.samples + b.count);
            return Status::success();
        },
        {}, result);
    EXPECT_TRUE(st.ok) << st.message;
    return out;
}

// Power of frequency f over samples [from, from + n).
double power(const std::vector<int16_t>& x, int64_t from, int64_t n, double f, double rate = 22050) {
    const double w = 2 * M_PI * f / rate, c = 2 * std::cos(w);
    double s1 = 0, s2 = 0;
    for (int64_t i = from; i < from + n; ++i) {
        const double s0 = x[static_cast<size_t>(i)] + c * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return s1 * s1 + s2 * s2 - c * s1 * s2;
}

// The pitch a MIDI note sounds at (A4 = 440 Hz, equal temperament).
double noteHz(int n) { return 440.0 * std::pow(2.0, (n - 69) / 12.0); }

// The note among `candidates` with the most power in the window.
int loudest(const std::vector<int16_t>& x, int64_t from, int64_t n, const std::vector<int>& candidates) {
    int best = -1;
    double bestPower = -1;
    for (int c : candidates)
        if (double p = power(x, from, n, noteHz(c)); p > bestPower) {
            bestPower = p;
            best = c;
        }
    return best;
}

}  // namespace

TEST(MidiRender, TheLiveStreamAndTheFileRendererGiveTheSameSamples) {
    for (const std::string& preset : std::vector<std::string>{"", "examples/pad.kfp", "menv"}) {
        for (auto [voices, blockLength] : {std::pair{1, 1024}, {1, 5512}, {3, 700}}) {  // 5512: a stamp on a block's last sample
            Session s;
            s.render().waitForRender();
            if (preset == "menv") {
                sineTimbre(s);
                s.params().set(ParamId::OscVolumeModulation, srcBit(kSrcMEnv1));  // note-gated: the envelopes' queue walk counts
                s.render().waitForRender();
            } else if (!preset.empty()) {
                ASSERT_TRUE(s.files().openPreset(kRoot + "/" + preset).ok);
                s.render().waitForRender();
            } else {
                sineTimbre(s);
            }
            const auto ev = midi("chord.mid");
            MidiRenderOptions o;
            o.voices = voices;
            o.blockLength = blockLength;
            o.tailSeconds = 0.2;
            const std::vector<int16_t> offline = render(s, ev, o);

            // The live stream: the MIDI input's entries (stamped a sample
            // before they sound) in the session's queue ahead of each block.
            s.live().setRealTimeMark(true);
            s.live().setLiveVoices(voices);
            s.live().startStream();
            std::vector<int16_t> live, block(static_cast<size_t>(blockLength));
            size_t next = 0;
            for (int32_t p = 0; live.size() < offline.size(); p += blockLength) {
                for (; next < ev.size() && std::llround(ev[next].seconds * 22050) < p + blockLength; ++next)
                    s.live().midiQueue().push(static_cast<int32_t>(std::llround(ev[next].seconds * 22050)) - 1, ev[next].message);
                s.live().renderBlock(SoundBuffer{blockLength, block.data()}, p);
                live.insert(live.end(), block.begin(), block.end());
            }
            live.resize(offline.size());
            EXPECT_TRUE(offline == live) << "preset '" << preset << "' voices " << voices << " block " << blockLength;
            EXPECT_NE(offline, std::vector<int16_t>(offline.size(), 0));
        }
    }
}

TEST(MidiRender, EachScaleNoteChangesThePitchAtItsOwnSample) {
    Session s;
    sineTimbre(s);
    // Gated by the first MIDI envelope, which a note-on restarts from 0 at
    // the very sample it takes effect.
    s.params().set(ParamId::OscVolumeModulation, srcBit(kSrcMEnv1));
    s.render().waitForRender();
    // The scale's note-ons only: each takes effect alone at its sample.
    std::vector<MidiFileEvent> ev;
    for (const auto& e : midi("scale.mid"))
        if (e.isNoteOn()) ev.push_back(e);
    MidiRenderOptions o;
    o.voices = 1;
    o.tailSeconds = 0.25;
    const auto x = render(s, ev, o);
    const std::vector<int> scale{60, 62, 64, 65, 67, 69, 71, 72};
    for (size_t i = 0; i < scale.size(); ++i) {
        // Note i starts at round(i * 0.25 s * 22050), half to even.
        const int64_t start = roundHalfEven(static_cast<double>(i) * 0.25 * 22050);
        EXPECT_EQ(loudest(x, start + 256, 4096, scale), scale[i]) << i;
        if (i == 0) continue;
        EXPECT_EQ(loudest(x, start - 4096, 4096, scale), scale[i - 1]) << i;
        // To the sample: a copy with this note one sample later is the same
        // up to the note's own sample and differs from there on.
        auto later = ev;
        later[i].seconds = static_cast<double>(start + 1) / 22050;
        const auto y = render(s, later, o);
        size_t first = 0;
        while (first < x.size() && x[first] == y[first]) ++first;
        EXPECT_EQ(static_cast<int64_t>(first), start) << i;
        EXPECT_EQ(x[static_cast<size_t>(start)], 0) << "the envelope restarts from silence";
    }
}

TEST(MidiRender, AChordOfThreeSoundsThreePitchesAndOneVoiceOnlyTheLast) {
    Session s;
    sineTimbre(s);
    const auto ev = midi("chord.mid");
    MidiRenderOptions o;
    o.tailSeconds = 0;
    const auto three = render(s, ev, o);
    const double c = power(three, 4096, 8192, noteHz(60)), e = power(three, 4096, 8192, noteHz(64)),
                 g = power(three, 4096, 8192, noteHz(67));
    for (int off : {62, 65, 69, 72}) {
        const double p = power(three, 4096, 8192, noteHz(off));
        EXPECT_GT(c, 20 * p) << off;
        EXPECT_GT(e, 20 * p) << off;
        EXPECT_GT(g, 20 * p) << off;
    }
    o.voices = 1;
    const auto one = render(s, ev, o);
    EXPECT_GT(power(one, 4096, 8192, noteHz(67)), 20 * power(one, 4096, 8192, noteHz(60)));
}

TEST(MidiRender, VoiceAllocationTakesFreeVoicesAndStealsTheEarliest) {
    auto at = [](double t, uint32_t m) { return MidiFileEvent{t, m}; };
    // 60, 64, 67 fill the three voices; 72 steals 60's voice; 60's note-off
    // then finds no voice; 64 ends and 74 takes its voice; 76 (all held)
    // steals the earliest remaining, 67.
    std::vector<MidiFileEvent> ev{at(0.0, on(60)), at(0.1, on(64)), at(0.2, on(67)), at(0.3, on(72)),
                                  at(0.4, on(60, 0)), at(0.5, on(64, 0)), at(0.6, on(74)), at(0.7, on(76)),
                                  at(0.8, 0xB0u | 7u << 8 | 5u << 16)};
    VoiceEngine engine(nullptr, 64);
    engine.setVoices(3);
    std::vector<int> got;
    for (const auto& e : ev) got.push_back(engine.midi(0, e.message) ? engine.lastVoice() : -1);
    got.pop_back();  // the controller takes no voice
    EXPECT_EQ(got, (std::vector<int>{0, 1, 2, 0, -1, 1, 1, 2}));

    // Heard: after the steal C4 is gone, C5 sounds with E4 and G4.
    Session s;
    sineTimbre(s);
    std::vector<MidiFileEvent> four{at(0.0, on(60)), at(0.0, on(64)), at(0.0, on(67)), at(0.5, on(72)),
                                    at(1.0, on(72, 0))};
    MidiRenderOptions o;
    o.tailSeconds = 0;
    const auto x = render(s, four, o);
    const int64_t after = 11025 + 1024;
    EXPECT_GT(power(x, 1024, 8192, noteHz(60)), 100 * power(x, after, 8192, noteHz(60)));
    EXPECT_GT(power(x, after, 8192, noteHz(72)), 100 * power(x, 1024, 8192, noteHz(72)));
    EXPECT_GT(power(x, after, 8192, noteHz(64)), 0.5 * power(x, 1024, 8192, noteHz(64)));
}

TEST(MidiRender, TempoChangesPlaceNotesAtTheTempoMapsSamples) {
    std::vector<int64_t> melodyOns;
    for (const auto& e : midi("tempo_two_tracks.mid"))
        if ((e.message & 0x0F) == 0 && e.isNoteOn()) melodyOns.push_back(std::llround(e.seconds * 22050));
    // 0, 0.5, 1, 2 and 3 s: the last two after the change to 60 bpm.
    EXPECT_EQ(melodyOns, (std::vector<int64_t>{0, 11025, 22050, 44100, 66150}));
}

TEST(MidiRender, ControllerValuesCountFromTheBlockTheyFallIn) {
    Session s;
    sineTimbre(s);
    s.params().set(ParamId::OscVolumeModulation, srcBit(kSrcMidi1));  // level = controller 7 value x 256
    s.render().waitForRender();
    auto at = [](double t, uint32_t m) { return MidiFileEvent{t, m}; };
    std::vector<MidiFileEvent> ev{at(0, on(69)), at(0.2, 0xB5u | 7u << 8 | 0u << 16), at(0.4, on(69, 0))};
    MidiRenderOptions o;
    o.voices = 1;
    o.blockLength = 1024;
    o.tailSeconds = 0;
    const auto x = render(s, ev, o);
    // 0.2 s = sample 4410, in the block starting at 4096: silent from there.
    auto peak = [&](int64_t a, int64_t b) {
        int v = 0;
        for (int64_t i = a; i < b; ++i) v = std::max(v, std::abs(int{x[static_cast<size_t>(i)]}));
        return v;
    };
    EXPECT_GT(peak(3072, 4096), 1000);
    EXPECT_EQ(peak(4096, 8192), 0);
}

TEST(MidiRender, LengthIsTheLastEventPlusTheTailAndOptionsAreChecked) {
    Session s;
    sineTimbre(s);
    const auto ev = midi("one_note.mid");  // note-off at 0.5 s
    MidiRenderOptions o;
    MidiRenderResult r;
    auto x = render(s, ev, o, &r);
    // Default tail: the MIDI envelopes' release (20 -> 2731 samples) is shorter than 1 s.
    EXPECT_EQ(x.size(), 11025u + 22050u);
    EXPECT_EQ(r.samples, 33075);
    EXPECT_EQ(r.notes, 1);
    EXPECT_EQ(r.sampleRate, 22050);
    s.params().set(ParamId::MidiEnv2Release, 256);  // 32768 samples for a full release
    x = render(s, ev, o);
    EXPECT_EQ(x.size(), 11025u + 32768u);

    std::vector<int16_t> none;
    auto sink = [&](SoundBuffer) { return Status::success(); };
    for (auto bad : {MidiRenderOptions{0, -1, 1024}, MidiRenderOptions{17, -1, 1024},
                     MidiRenderOptions{3, -1, 0}, MidiRenderOptions{3, -1, 16385}})
        EXPECT_FALSE(renderMidiEvents(s, ev, bad, sink).ok);
    EXPECT_EQ(midiOutputPath(""), "midiout.wav");
    EXPECT_EQ(midiOutputPath("/home/u/sounds"), "/home/u/sounds/midiout.wav");
    EXPECT_EQ(midiOutputPath("/home/u/sounds/"), "/home/u/sounds/midiout.wav");
    // A progress callback that says no stops the render.
    Status st = renderMidiEvents(s, ev, o, sink, [](int64_t, int64_t) { return false; });
    EXPECT_FALSE(st.ok);
}

TEST(MidiRender, ACancelledRenderLeavesTheExistingOutputAndNoTemporaryFile) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / "kf_midi_render_cancel";
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path out = dir / "midiout.wav";
    std::ofstream(out) << "keep";
    Session s;
    sineTimbre(s);
    int calls = 0;
    Status st = renderMidiFile(s, kRoot + "/tests/data/midi/scale.mid", out.string(), MidiRenderOptions{},
                               [&](int64_t, int64_t) { return ++calls < 3; });
    EXPECT_FALSE(st.ok);
    EXPECT_EQ(calls, 3);
    std::ifstream in(out);
    std::string text;
    in >> text;
    EXPECT_EQ(text, "keep");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);

    // A finished render replaces it.
    MidiRenderResult r;
    ASSERT_TRUE(renderMidiFile(s, kRoot + "/tests/data/midi/one_note.mid", out.string(), MidiRenderOptions{}, {}, &r).ok);
    EXPECT_EQ(fs::file_size(out), 44u + 2u * static_cast<uintmax_t>(r.samples));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
    fs::remove_all(dir);
}

TEST(MidiRender, OnsetsLandOnTheTempoMapsSampleAtEveryBlockLength) {
    // 96 ticks per quarter, tempo changes at ticks 150 and 400, short notes.
    const std::vector<std::pair<int64_t, double>> tempos{{0, 500000}, {150, 350000}, {400, 777777}};
    const std::vector<int64_t> onTicks{0, 100, 230, 333, 470, 600};
    MidiSong song;
    ASSERT_TRUE(readMidiFile(kRoot + "/tests/data/midi/hostile/tempo_map.mid", song).ok);

    // Expected onsets from the tempo map, segment by segment.
    std::vector<int64_t> want;
    for (int64_t tick : onTicks) {
        double sec = 0;
        for (size_t k = 0; k < tempos.size() && tempos[k].first < tick; ++k) {
            const int64_t to = k + 1 < tempos.size() ? std::min(tick, tempos[k + 1].first) : tick;
            sec += static_cast<double>(to - tempos[k].first) * tempos[k].second / 96e6;
        }
        want.push_back(std::llround(sec * 22050) + 1);  // the envelope is 0 at the note's own sample
    }

    // A square gated by MIDI envelope 1 with no attack or release: silence
    // between the notes, full level from the sample after a note-on.
    Session s;
    gatedSquareTimbre(s);
    for (int32_t block : {1, 100, 16384}) {
        MidiRenderOptions o;
        o.voices = 1;
        o.blockLength = block;
        std::vector<int16_t> x;
        ASSERT_TRUE(renderMidiSong(s, song, o, [&](SoundBuffer b) {
                        x.insert(x.end(), b.samples, b.samples + b.count);
                        return Status::success();
                    }).ok);
        std::vector<int64_t> got;
        for (size_t i = 1; i < x.size(); ++i)
            if (x[i - 1] == 0 && x[i] != 0) got.push_back(static_cast<int64_t>(i));
        EXPECT_EQ(got, want) << "block " << block;
    }
}

TEST(MidiRender, TwoOscillatorsReadingOneEnvelopeSoundTheSameAtEveryBlockLength) {
    Session s;
    ASSERT_TRUE(s.files().openPreset(kRoot + "/examples/keys.kfp").ok);
    s.render().waitForRender();
    const auto ev = midi("chord.mid");
    std::vector<int16_t> first;
    for (int32_t block : {1, 512, 16384}) {
        MidiRenderOptions o;
        o.blockLength = block;
        o.tailSeconds = 0.2;
        const auto x = render(s, ev, o);
        if (first.empty())
            first = x;
        else
            EXPECT_TRUE(x == first) << "block " << block;
    }
}

TEST(MidiRender, TheSongLastsToItsEndOfTrack) {
    Session s;
    sineTimbre(s);
    MidiSong song;
    ASSERT_TRUE(readMidiFile(kRoot + "/tests/data/midi/hostile/end_of_track_late.mid", song).ok);
    MidiRenderOptions o;
    size_t n = 0;
    ASSERT_TRUE(renderMidiSong(s, song, o, [&](SoundBuffer b) {
                    n += static_cast<size_t>(b.count);
                    return Status::success();
                }).ok);
    EXPECT_EQ(n, static_cast<size_t>(10.5 * 22050));  // not the last note-off (0.5 s) plus 1 s
}

TEST(MidiRender, NotesSoundAtTheirTruePitchUnlessAnOctaveDown) {
    Session s;
    sineTimbre(s);
    s.params().set(ParamId::SampleRate, 8820);  // 44100 Hz
    s.render().waitForRender();
    // note, heard frequency (127 is above what the 16-bit curve holds: 4095.875 Hz)
    const std::vector<std::pair<int, double>> table{{69, 440.0}, {0, noteHz(0)}, {107, noteHz(107)}, {127, 4095.875}};
    for (bool down : {false, true})
        for (auto [note, hz] : table) {
            MidiRenderOptions o;
            o.voices = 1;
            o.tailSeconds = 0;
            o.octaveDown = down;
            const double f = down && note != 127 ? hz / 2 : hz;
            const auto x = render(s, {MidiFileEvent{0, on(note)}, MidiFileEvent{2.0, on(note, 0)}}, o);
            const double p = power(x, 0, 88200, f, 44100);
            EXPECT_GT(p, 100 * power(x, 0, 88200, f * 2, 44100)) << note << " down " << down;
            EXPECT_GT(p, 100 * power(x, 0, 88200, f / 2, 44100)) << note << " down " << down;
        }
}

TEST(MidiRender, EveryNoteOffIsHeardWhateverSampleOfTheBlockItFallsOn) {
    // A square gated by MIDI envelope 1 with no attack or release.
    Session s;
    gatedSquareTimbre(s);
    constexpr int32_t kBlock = 16;
    std::vector<int16_t> block(kBlock);
    auto silentFrom = [&](VoiceEngine& e, int32_t blocks) {
        int32_t last = -1;
        for (int32_t b = 0; b < blocks; ++b) {
            e.render(block.data(), kBlock);
            for (int32_t i = 0; i < kBlock; ++i)
                if (block[static_cast<size_t>(i)] != 0) last = b * kBlock + i;
        }
        return last + 1;
    };
    // What ends the note, at each sample of the second block: a note-off, a
    // velocity-0 note-on, all notes off, all sound off.
    const std::vector<std::vector<uint8_t>> enders{{0x80, 69, 0}, {0x90, 69, 0}, {0xB0, 123, 0}, {0xB0, 120, 0}};
    for (size_t k = 0; k < enders.size(); ++k)
        for (int32_t at = 0; at < kBlock; ++at) {
            VoiceEngine e(s.live().publishSnapshot(), kBlock);
            e.setVoices(2);
            const uint8_t noteOn[] = {0x90, 69, 100};
            e.midi(0, noteOn, 3);
            e.render(block.data(), kBlock);
            e.midi(at, enders[k].data(), 3);
            const int32_t end = silentFrom(e, 4) + kBlock;
            if (k == 3)
                EXPECT_EQ(end, kBlock) << "all sound off silences from its block";
            else
                EXPECT_EQ(end, kBlock + at + 1) << "ender " << k << " at " << at;  // the envelope is 0 the sample after
        }
    // Stopping releases everything: the next start is silent until a note.
    VoiceEngine e(s.live().publishSnapshot(), kBlock);
    const uint8_t noteOn[] = {0x90, 60, 100};
    e.midi(0, noteOn, 3);
    EXPECT_GT(silentFrom(e, 2), 0);
    e.reset();
    EXPECT_EQ(silentFrom(e, 4), 0);
}
