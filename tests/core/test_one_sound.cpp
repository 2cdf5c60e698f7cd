// The sound is a function of the state: after any chain of edits, the sound
// the session holds equals a freshly started program's render of the same
// state saved as a preset, from the same generator state; undo walks back.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "core/fresh_render.h"
#include "core/session.h"

using namespace kf;

namespace {

const std::string kExamples = std::string(KF_TEST_SOURCE_DIR) + "/examples/";

std::string tempFile(const std::string& name) {
    return (std::filesystem::temp_directory_path() / ("kf_one_sound_" + std::to_string(getpid()) + name)).string();
}

std::vector<int16_t> freshRender(Session& s, uint32_t seed) {
    const std::string path = tempFile(".kfp");
    const std::vector<uint8_t> bytes = s.history().presetBytes();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    Session fresh(seed);
    fresh.render().scaleChanged(s.render().scale());  // the scale is the program's, not the preset's
    EXPECT_TRUE(renderFreshlyOpened(fresh, path).ok);
    std::filesystem::remove(path);
    return fresh.render().playBuffer().copy();
}

// One random edit of the kinds the window makes.
void randomEdit(Session& s, std::mt19937& rng) {
    auto pick = [&rng](int64_t lo, int64_t hi) { return std::uniform_int_distribution<int64_t>(lo, hi)(rng); };
    switch (pick(0, 9)) {
        case 0: case 1: case 2: {  // a control from the table
            const ParamInfo& p = paramTable()[static_cast<size_t>(pick(0, kParamCount - 1))];
            long double v = 0;
            if (p.type == ParamType::Choice) {
                const auto items = paramChoices(p.id);
                v = items[static_cast<size_t>(pick(0, static_cast<int64_t>(items.size()) - 1))].value;
            } else if (p.type == ParamType::Sources) {
                v = pick(0, (1 << kSourceCount) - 1);
            } else {
                v = pick(p.barMin, p.barMax) * (p.mult > 0 ? p.mult : 1);
            }
            if (p.id == ParamId::Length || p.id == ParamId::AdditionalSilence) v = pick(1, 40);  // short renders
            (void)s.params().set(p.id, v);
            break;
        }
        case 3: {
            CurveData c;
            c.count = 3;
            c.points[1] = {static_cast<int32_t>(pick(1, 16383)), static_cast<int32_t>(pick(-32768, 32767))};
            c.points[2] = {16384, static_cast<int32_t>(pick(-32768, 32767))};
            pick(0, 1) ? s.params().setEnvelopeGraph(c) : s.params().setWaveFormGraph(c);
            break;
        }
        case 4: s.tools().applyHarmonicsPreset(static_cast<HarmonicsPreset>(pick(0, 7))); break;
        case 5:
            s.params().editUnits([&](SoundScheme& u) {
                u.noteSequencer().setNoteCount(static_cast<int32_t>(pick(1, 16)));
                u.noteSequencer().notes[static_cast<size_t>(pick(0, 15))].frequency = static_cast<int32_t>(pick(0, 2000));
                u.noteSequencer().setParams();
            });
            break;
        case 6: s.params().setChordText(pick(0, 1) ? "C-5,E-5,G-5" : "A-4,C-6"); break;
        case 7: pick(0, 1) ? s.tools().octaveShift(pick(0, 1) != 0) : s.tools().melodicOscillatorsToC(static_cast<int>(pick(3, 8))); break;
        case 8: pick(0, 1) ? s.params().selectTimbre(static_cast<int>(pick(0, 1))) : s.params().selectOscillator(static_cast<int>(pick(0, 9))); break;
        case 9: pick(0, 1) ? (void)s.history().undo() : (void)s.history().redo(); break;
    }
}

}  // namespace

TEST(OneSound, RandomWalkOfEditsSoundsAsAFreshRenderOfTheSavedState) {
    for (const char* preset : {"pluck.kfp", "keys.kfp"}) {
        SCOPED_TRACE(preset);
        std::mt19937 rng(preset[0]);
        Session s(7);
        ASSERT_TRUE(renderFreshlyOpened(s, kExamples + preset).ok);
        s.render().setAutoRender(false);  // one render per step, from a known generator state
        for (int step = 0; step < 120; ++step) {
            randomEdit(s, rng);
            const uint32_t seed = s.render().seed();
            ASSERT_TRUE(s.render().renderClick().ok);
            s.render().waitForRender();
            SCOPED_TRACE(step);
            ASSERT_EQ(s.render().playBuffer().copy(), freshRender(s, seed));
            ASSERT_EQ(s.render().playBuffer().rate(), s.files().sampleRate());
        }
    }
}

TEST(OneSound, UndoToTheStartGivesTheOpenedBytesAndRedoTheLast) {
    std::mt19937 rng(5);
    Session s;
    ASSERT_TRUE(s.files().openPreset(kExamples + "bass.kfp").ok);
    s.render().waitForRender();
    const std::vector<uint8_t> first = s.history().settingsBytes();
    EXPECT_FALSE(s.history().modified());
    for (int i = 0; i < 200; ++i) {
        randomEdit(s, rng);
        s.history().endEditRun();
    }
    while (s.history().canRedo()) s.history().redo();  // the walk's own undos leave redo steps
    s.render().waitForRender();
    const std::vector<uint8_t> last = s.history().settingsBytes();
    while (s.history().undoLabel() != "Open preset") ASSERT_TRUE(s.history().undo());
    s.render().waitForRender();
    EXPECT_EQ(s.history().settingsBytes(), first);
    EXPECT_FALSE(s.history().modified());
    while (s.history().canRedo()) s.history().redo();
    s.render().waitForRender();
    EXPECT_EQ(s.history().settingsBytes(), last);
}

TEST(OneSound, ADragIsOneStepNamedForItsControlAndTheTitleMarksUnsavedWork) {
    Session s;
    s.render().setAutoRender(false);
    EXPECT_EQ(s.history().windowTitle(), "Kestrafon - NoName");
    for (int v = 10; v < 20; ++v) (void)s.params().set(ParamId::CutOff, v);
    EXPECT_EQ(s.history().undoLabel(), "Cut off");
    EXPECT_EQ(s.history().windowTitle(), "Kestrafon - NoName *");
    ASSERT_TRUE(s.history().undo());
    EXPECT_EQ(s.params().get(ParamId::CutOff), 128);
    EXPECT_FALSE(s.history().canUndo());
    EXPECT_EQ(s.history().redoLabel(), "Cut off");
    EXPECT_EQ(s.history().windowTitle(), "Kestrafon - NoName");
}

TEST(OneSound, KeysRendersAlikeTwiceAndTheRateTravelsWithTheSamples) {
    Session s;
    ASSERT_TRUE(renderFreshlyOpened(s, kExamples + "keys.kfp").ok);
    const std::vector<int16_t> first = s.render().playBuffer().copy();
    ASSERT_TRUE(s.render().renderClick().ok);
    s.render().waitForRender();
    EXPECT_EQ(s.render().playBuffer().copy(), first);  // the MIDI envelopes start afresh

    Session b;
    ASSERT_TRUE(renderFreshlyOpened(b, kExamples + "bass.kfp").ok);
    ASSERT_TRUE(b.params().set(ParamId::SampleRate, 44100 / 5).ok);
    b.render().waitForRender();
    EXPECT_EQ(b.render().playBuffer().rate(), 44100);
    EXPECT_EQ(b.render().playBuffer().copy(), freshRender(b, 0));
}

TEST(OneSound, LiveModeRefusesRenderAndSaveAndIsOneProgramWideState) {
    Session s;
    s.live().setRealTimeMark(true);
    s.params().selectTimbre(1);
    EXPECT_TRUE(s.live().realTimeMark());  // a timbre does not carry the mode
    EXPECT_FALSE(s.render().renderClick().ok);
    EXPECT_FALSE(s.files().exportSound(tempFile(".wav"), SaveFormat::Wav16).ok);
    EXPECT_FALSE(std::filesystem::exists(tempFile(".wav")));
}

TEST(OneSound, OtherKindsOfFileAreRefusedAndChangeNothing) {
    Session s;
    ASSERT_TRUE(s.files().openPreset(kExamples + "bass.kfp").ok);
    s.render().waitForRender();
    const std::vector<uint8_t> before = s.history().presetBytes();
    for (const char* other : {"README.md", "examples/bass.json", "tests/data/midi/chord.mid", "tests/data/midi"}) {
        const Status st = s.files().openPreset(std::string(KF_TEST_SOURCE_DIR) + "/" + other);
        EXPECT_FALSE(st.ok) << other;
        EXPECT_NE(st.message.find("not a preset"), std::string::npos) << st.message;
    }
    EXPECT_EQ(s.history().presetBytes(), before);
}

TEST(OneSound, EveryControlAtAnEdgeAndInTheMiddleSoundsAsAFreshRender) {
    Session s(3);
    ASSERT_TRUE(renderFreshlyOpened(s, kExamples + "keys.kfp").ok);
    s.render().setAutoRender(false);
    for (const ParamInfo& p : paramTable()) {
        const long double unit = p.mult > 0 ? p.mult : 1;
        const int64_t hi = p.id == ParamId::Length || p.id == ParamId::AdditionalSilence ? 40 : p.barMax;
        for (long double v : {p.barMin * unit, (p.barMin + hi) / 2 * unit}) {
            if (p.type == ParamType::Choice) v = paramChoices(p.id).back().value;
            (void)s.params().set(p.id, v);
            const uint32_t seed = s.render().seed();
            ASSERT_TRUE(s.render().renderClick().ok);
            s.render().waitForRender();
            ASSERT_EQ(s.render().playBuffer().copy(), freshRender(s, seed)) << p.key << " = " << static_cast<double>(v);
        }
    }
}
