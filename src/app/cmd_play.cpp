// play and live: the rendered sound through the wave output, and the
// real-time stream driven by MIDI input.
#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cmath>
#include <limits>
#include <csignal>
#include <iostream>
#include <memory>
#include <thread>

#include "app/cli_input.h"
#include "app/cli_output.h"
#include "app/cli_quiet.h"
#include "app/commands.h"
#include "core/session.h"

#ifdef KF_HAVE_AUDIO
#include "audio/midi_in.h"
#include "audio/playback.h"
#include "audio/realtime.h"
#include "audio/recording_wave_out.h"
#include "audio/wave_out.h"
#include "files/wav.h"
#endif

namespace kf::cli {

#ifdef KF_HAVE_AUDIO
namespace {

// Set by Ctrl+C; the only state a signal handler may touch.
std::atomic<bool> g_interrupted{false};
extern "C" void onInterrupt(int) { g_interrupted = true; }

void catchInterrupt() {
    g_interrupted = false;
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
}

// Sleeps until Ctrl+C or, when seconds > 0, until that much time went by.
void waitFor(double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!g_interrupted && (seconds <= 0 || std::chrono::steady_clock::now() < end))
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

// Until Ctrl+C or `seconds`: `rate` edits a second through the session (the
// main volume one step down and back), each published to the live voices.
void churnState(Session& s, double rate, double seconds) {
    const auto start = std::chrono::steady_clock::now();
    const auto period = std::chrono::duration<double>(1.0 / rate);
    const int32_t base = s.params().get(ParamId::MainVolume);
    const int32_t other = base > 0 ? base - 1 : base + 1;
    auto next = start;
    for (int64_t n = 0; !g_interrupted; ++n) {
        if (seconds > 0 && std::chrono::steady_clock::now() - start >= std::chrono::duration<double>(seconds)) break;
        s.params().set(ParamId::MainVolume, n % 2 ? base : other);
        next += std::chrono::duration_cast<std::chrono::steady_clock::duration>(period);
        std::this_thread::sleep_until(next);
    }
    s.params().set(ParamId::MainVolume, base);
}

// One line: the step's caption, the backend's text, and a hint when the
// machine offers no output at all.
// `libraries` is what the audio libraries printed meanwhile.
std::string describe(const Status& s, WaveOut& wave, const std::string& libraries) {
    std::string m = s.message;
    while (!m.empty() && std::isspace(static_cast<unsigned char>(m.back()))) m.pop_back();
    std::string line = s.caption.empty() ? m : s.caption + " " + m;
    StderrCapture quiet;
    if (wave.devices().size() <= 1) line += " (no sound card or sound server found; see 'kestrafon-cli devices')";
    const std::string said = StderrCapture::oneLine(libraries);
    if (!said.empty()) line += " [" + said + "]";
    return line;
}

struct AudioOptions {
    int device = -1;  // -1: the settings file's choice
    std::string audioApi;
};

void addAudioOptions(CLI::App* cmd, AudioOptions& o) {
    cmd->add_option("--device", o.device, "Wave-out item (see 'devices'; default: the settings file's)")
        ->check(wholeNumber(0, 1000000));
    cmd->add_option("--audio-api", o.audioApi, "Audio interface (e.g. alsa, pulse, jack); default: automatic");
}

int deviceItem(const AudioOptions& o, const Settings& settings) { return o.device >= 0 ? o.device : settings.waveOut; }

struct PlayOptions {
    std::string preset;
    bool once = false;
    AudioOptions audio;
};

void runPlay(const PlayOptions& o) {
    Session s;
    const Settings settings = readSettings(settingsPath());
    s.files().setSettings(settings);
    if (!loadPresetAndRender(s, o.preset)) return;
    StderrCapture quiet;
    RtAudioWaveOut wave(o.audio.audioApi);
    OutputDevice out(wave);
    out.sampleRate = s.files().sampleRate();
    out.deviceItem = deviceItem(o.audio, settings);
    Playback playback(out, s.render().playBuffer());
    s.live().setPlayback(&playback);
    catchInterrupt();
    const int32_t count = s.render().playBuffer().count();
    if (o.once)
        playback.playOnce();
    else
        playback.playClick();
    const std::string libraries = quiet.finish();
    if (!playback.lastStatus()) {
        s.live().setPlayback(nullptr);
        return fail(describe(playback.lastStatus(), wave, libraries));
    }
    if (count < 4) {
        std::cout << "Nothing to play (" << count << " samples)\n";
    } else {
        const double seconds = static_cast<double>(count - 2) / s.files().sampleRate();
        std::cout << "Playing " << count << " samples at " << s.files().sampleRate() << " Hz"
                  << (o.once ? "" : ", looped; Ctrl+C stops") << "\n";
        // Once: the sound's length plus the device's own latency.
        waitFor(o.once ? seconds + 0.3 : 0);
    }
    playback.stopClick();
    s.live().setPlayback(nullptr);
}

void addPlayCommand(CLI::App& app) {
    auto* cmd = app.add_subcommand("play", "Render a preset and play it (looped until Ctrl+C, or once)");
    auto opts = std::make_shared<PlayOptions>();
    cmd->add_option("preset", opts->preset, "Preset file (.kfp)");
    cmd->add_flag("--once", opts->once, "Play once and exit when it has sounded");
    addAudioOptions(cmd, opts->audio);
    cmd->callback([opts] { runPlay(*opts); });
}

struct LiveOptions {
    std::string preset;
    AudioOptions audio;
    int midiIn = -1;
    std::string midiVirtual;
    std::string midiApi;
    int buffer = 0;
    int tempo = -1;
    double seconds = 0;
    std::string record;
    int voices = 0;
    double gain = std::numeric_limits<double>::quiet_NaN();
    bool octaveDown = false;
    double churn = 0;
    int rate = 0;
};

// Opens the chosen MIDI input, or says why not (with the library's words).
void openLiveMidi(MidiIn& midi, const LiveOptions& o, const Settings& settings, StderrCapture& quiet) {
    const int item = o.midiIn >= 0 ? o.midiIn : settings.midiIn;
    std::string midiProblem;
    if (!o.midiVirtual.empty()) {
        if (!midi.openVirtual(o.midiVirtual))
            midiProblem = "cannot open a MIDI input port named '" + o.midiVirtual + "' (" + midi.apiName() + ")";
    } else if (item > 0 && !midi.openMidiIn(item)) {
        midiProblem = "cannot open MIDI input " + std::to_string(item) + " (" + midi.apiName() + ")";
    }
    if (!midiProblem.empty()) {
        // The library's own words belong to this warning; the
        // capture goes on for the output device.
        const std::string said = StderrCapture::oneLine(quiet.finish());
        warn(midiProblem + (said.empty() ? "" : " [" + said + "]"));
    }
}

void reportLiveTiming(const RealTime& realTime, int32_t sampleRate) {
    const auto t = realTime.renderTiming();
    if (t.blocks == 0) return;
    const double blockNs = 1e9 * realTime.blockLength() / sampleRate;
    std::cout << "Rendered " << t.blocks << " blocks; time per block: mean "
              << static_cast<double>(t.totalNs) / static_cast<double>(t.blocks) / blockNs * 100 << "%, median "
              << static_cast<double>(realTime.medianRenderNs()) / blockNs * 100 << "%, worst "
              << static_cast<double>(t.worstNs) / blockNs * 100 << "% of the block's duration\n";
}

// Opens the preset and applies the options; false when it has failed.
bool prepareLiveSession(Session& s, const LiveOptions& o, const Settings& settings) {
    s.files().setSettings(settings);
    s.render().startUpRender();
    s.render().waitForRender();
    if (!o.preset.empty()) {
        if (!checkPresetFile(o.preset)) return false;
        if (Status st = s.files().openPreset(o.preset, false); !st) {
            fail(st.message);
            return false;
        }
        if (!checkPresetSamples(s, o.preset)) return false;
    }
    // The "Realtime" mark, stored into the current timbre as the
    // menu click does; from now on control changes only reach the stream.
    s.live().setRealTimeMark(true);
    if (o.tempo >= 0) s.params().set(ParamId::Tempo, o.tempo);
    if (o.rate > 0) s.params().set(ParamId::SampleRate, o.rate / 5);
    if (o.voices > 0) s.live().setLiveVoices(o.voices);
    if (!std::isnan(o.gain)) s.live().setLiveGainDb(o.gain);
    if (o.octaveDown) s.live().setLiveOctaveDown(true);
    return true;
}

void runLive(const LiveOptions& o) {
    // The recording's place is checked before the stream starts.
    if (refuseSameFile(o.record, {o.preset})) return;
    OutputFile recording(o.record.empty() ? "-" : o.record);
    if (!o.record.empty())
        if (Status st = recording.open(); !st) return fail(st.message);
    Session s;
    const Settings settings = readSettings(settingsPath());
    if (!prepareLiveSession(s, o, settings)) return;
    StderrCapture quiet;
    RtAudioWaveOut wave(o.audio.audioApi);
    RecordingWaveOut recorder(wave);
    WaveOut& device = o.record.empty() ? static_cast<WaveOut&>(wave) : recorder;
    OutputDevice out(device);
    out.sampleRate = s.files().sampleRate();
    out.deviceItem = deviceItem(o.audio, settings);
    RealTime realTime(out, s.live().renderer());
    realTime.setBufferPosition(o.buffer > 0 ? o.buffer : std::clamp(settings.bufSize, 1, 32));
    Playback playback(out, s.render().playBuffer(), &realTime);
    playback.setRealTimeMark(true);
    s.live().setPlayback(&playback);

    MidiIn midi(s.live().midiQueue(), s.live().midiControllers(), [&realTime] { return realTime.midiTimeStamp(); },
                o.midiApi);
    openLiveMidi(midi, o, settings, quiet);

    catchInterrupt();
    StderrCapture quietOpen;
    playback.playClick();
    const std::string opened = quietOpen.finish();  // the inner capture ends first
    const std::string libraries = quiet.finish() + " " + opened;
    if (!playback.lastStatus()) {
        midi.closeMidiIn();
        s.live().setPlayback(nullptr);
        return fail(describe(playback.lastStatus(), wave, libraries));
    }
    const int voices = s.files().settings().liveVoices;
    std::cout << "Streaming at " << s.files().sampleRate() << " Hz, blocks of " << realTime.blockLength()
              << " samples, " << voices << (voices == 1 ? " voice" : " voices")
              << (o.seconds > 0 ? "" : "; Ctrl+C stops") << "\n";
    if (o.churn > 0)
        churnState(s, o.churn, o.seconds);
    else
        waitFor(o.seconds > 0 ? o.seconds : 0);
    playback.stopClick();
    midi.closeMidiIn();
    s.live().setPlayback(nullptr);
    reportLiveTiming(realTime, s.files().sampleRate());
    if (!o.record.empty()) {
        std::vector<int16_t> sent = recorder.take();
        Status st = recording.write([&](const std::string& file) {
            return saveWav16(SoundBuffer{static_cast<int32_t>(sent.size()), sent.data()}, file,
                             s.files().sampleRate());
        });
        if (!st) return fail(st.message);
        std::cout << "Wrote " << o.record << " (" << sent.size() << " samples)\n";
    }
}

void addLiveCommand(CLI::App& app) {
    auto* cmd = app.add_subcommand("live", "Stream real-time synthesis of a preset, played from MIDI input");
    auto o = std::make_shared<LiveOptions>();
    cmd->add_option("preset", o->preset, "Preset file (.kfp)");
    addAudioOptions(cmd, o->audio);
    cmd->add_option("--voices", o->voices, "Voices, 1 to 16 (default: the settings file's, else 1)")
        ->check(wholeNumber(1, kMaxLiveVoices));
    cmd->add_option("--gain", o->gain,
                    "Gain from the voices' sum to 16 bits in dB, -96 to 48 (default: the settings file's, "
                    "else 1/voices, which never clips)")
        ->check(CLI::Range(kLiveGainMinDb, kLiveGainMaxDb));
    cmd->add_flag("--octave-down", o->octaveDown, "Notes an octave below their true pitch (the old tuning)");
    cmd->add_option("--rate", o->rate, "Sample rate of the sound in Hz, 1000 to 48000 (default: the preset's)")
        ->check(wholeNumber(1000, 48000));
    cmd->add_option("--churn", o->churn,
                    "Change the sound's state this many times a second through the session while streaming "
                    "(a stress test of the hand-over to the voices)")
        ->check(CLI::Range(0.0, 1000.0));
    auto* in = cmd->add_option("--midi-in", o->midiIn, "MIDI-in item (see 'devices'; default: the settings file's)")
                   ->check(wholeNumber(0, 1000000));
    cmd->add_option("--midi-virtual", o->midiVirtual, "Open a MIDI input port of this name for others to connect to")
        ->excludes(in);
    cmd->add_option("--midi-api", o->midiApi, "MIDI interface (alsa or jack); default: automatic");
    cmd->add_option("--buffer", o->buffer, "Real-time buffer length 1..32 (x 512 samples; default: settings)")
        ->check(wholeNumber(1, 32));
    cmd->add_option("--tempo", o->tempo, "Tempo (default: the preset's)")->check(wholeNumber(0, 100000));
    cmd->add_option("--seconds", o->seconds, "Stop after this many seconds (default: at Ctrl+C)")
        ->check(numberAtLeast(0));
    cmd->add_option("--record", o->record, "Also write what was sent to the device as a 16-bit WAV");
    cmd->callback([o] { runLive(*o); });
}

}  // namespace

void addPlayCommands(CLI::App& app) {
    addPlayCommand(app);
    addLiveCommand(app);
}

#else

void addPlayCommands(CLI::App& app) {
    app.add_subcommand("play", "Render a preset and play it")->callback([] { fail("this build has no audio support"); });
    app.add_subcommand("live", "Stream real-time synthesis")->callback([] { fail("this build has no audio support"); });
}

#endif

}  // namespace kf::cli
