#include "core/midi_render.h"

#include <algorithm>
#include <cmath>

#include "core/session.h"
#include "engine/arith.h"
#include "core/voice_engine.h"
#include "files/wav_stream.h"

namespace kf {

int32_t midiReleaseTail(const SoundSnapshot& s) {
    // A full release from the top level takes ceil(32768 / step) samples.
    int32_t tail = s.sampleRate;
    for (const MidiEnvelopeParams& p : s.gen.midiEnv) {
        const int64_t step = std::max<int64_t>(1, 32768 / (int64_t{p.release} * 127 + 1));
        tail = std::max<int32_t>(tail, static_cast<int32_t>((32768 + step - 1) / step));
    }
    return tail;
}

Status renderMidiEvents(Session& s, const std::vector<MidiFileEvent>& events, const MidiRenderOptions& options,
                        const std::function<Status(SoundBuffer)>& sink, const MidiRenderProgress& progress,
                        MidiRenderResult* result) {
    MidiSong song;
    song.events = events;
    return renderMidiSong(s, song, options, sink, progress, result);
}

Status renderMidiSong(Session& s, const MidiSong& song, const MidiRenderOptions& options,
                      const std::function<Status(SoundBuffer)>& sink, const MidiRenderProgress& progress,
                      MidiRenderResult* result) {
    const std::vector<MidiFileEvent>& events = song.events;
    if (options.voices < 1 || options.voices > kMaxVoices) return Status::error("Voices must be 1 to 16");
    if (options.blockLength < 1 || options.blockLength > 16384) return Status::error("Block length must be 1 to 16384");
    if (!(options.tailSeconds < 3600)) return Status::error("Tail must be under an hour");
    const bool normalize = !std::isnan(options.normalizeDb);
    if (normalize && !(options.normalizeDb <= 0 && options.normalizeDb >= -96))
        return Status::error("Normalize level must be -96 to 0 dB");

    const std::shared_ptr<const SoundSnapshot> snap = s.live().publishSnapshot();
    const int32_t rate = snap->sampleRate;
    const int64_t tail = options.tailSeconds < 0 ? midiReleaseTail(*snap)
                                                 : roundHalfEven(options.tailSeconds * static_cast<double>(rate));
    VoiceEngine engine(snap, options.blockLength);
    engine.setVoices(options.voices);
    engine.setOctaveDown(options.octaveDown);
    if (!std::isnan(options.gainDb)) engine.setGainDb(options.gainDb);

    // Each event at its sample; the stream's order is the file's.
    std::vector<int64_t> at(events.size());
    int64_t last = 0;
    for (size_t i = 0; i < events.size(); ++i) {
        at[i] = std::max<int64_t>(0, roundHalfEven(events[i].seconds * rate));
        last = std::max(last, at[i]);
    }
    // Stems line up in a host only at the song's own length.
    const int64_t end = roundHalfEven(std::clamp(song.endSeconds, 0.0, double(INT32_MAX)) * rate);
    const int64_t total = std::max<int64_t>({1, last + tail, end});
    if (total > int64_t{INT32_MAX} - options.blockLength) return Status::error("MIDI file too long to render");

    MidiRenderResult res;
    res.sampleRate = rate;
    for (const auto& e : events) res.notes += e.isNoteOn() ? 1 : 0;
    if (result) *result = res;

    const int32_t b = options.blockLength;
    std::vector<int16_t> block(static_cast<size_t>(b));
    std::vector<int32_t> wide, full;  // normalizing: the whole render before the gain stage, one block
    if (normalize) full.resize(static_cast<size_t>(b));
    size_t next = 0;
    for (int64_t p = 0; p < total; p += b) {
        for (; next < events.size() && at[next] < p + b; ++next)
            engine.midi(static_cast<int32_t>(at[next] - p), events[next].message);
        const int64_t done = std::min<int64_t>(total, p + b);
        const auto count = static_cast<int32_t>(done - p);
        if (normalize) {
            wide.resize(static_cast<size_t>(done));
            engine.renderWide(full.data(), b);
            std::copy_n(full.begin(), count, wide.begin() + p);
        } else {
            res.clipped += engine.render(block.data(), b) - countFullScale(block.data() + count, b - count);
            if (Status st = sink(SoundBuffer{count, block.data()}); !st) return st;
        }
        res.samples = done;
        if (progress && !progress(done, total)) return Status::error("Cancelled");
    }
    if (normalize) {
        int64_t peak = 0;
        for (int32_t w : wide) peak = std::max<int64_t>(peak, std::abs(int64_t{w}));
        // The one gain that brings the peak to the level, in 1/65536 (held
        // down so that the rounded peak stays at or below it).
        const long double target = kSampleMax * std::pow(10.0L, static_cast<long double>(options.normalizeDb) / 20.0L);
        const int64_t g = peak == 0 ? 65536 : static_cast<int64_t>(std::floor(target * 65536.0L / peak));
        res.gainDb = g > 0 ? 20.0 * std::log10(static_cast<double>(g) / 65536.0) : -96.0;
        for (size_t p = 0; p < wide.size(); p += static_cast<size_t>(b)) {
            const auto count = static_cast<int32_t>(std::min<size_t>(b, wide.size() - p));
            for (int32_t j = 0; j < count; ++j)
                block[static_cast<size_t>(j)] = static_cast<int16_t>(
                    clampSample(roundShiftHalfEven(int64_t{wide[p + static_cast<size_t>(j)]} * g, 16)));
            res.clipped += countFullScale(block.data(), count);
            if (Status st = sink(SoundBuffer{count, block.data()}); !st) return st;
        }
    } else {
        res.gainDb = std::isnan(options.gainDb)
                        ? 20.0 * std::log10(static_cast<double>(VoiceEngine::autoGainFactor(options.voices)) / 65536.0)
                        : options.gainDb;
    }
    res.warning = engine.unitWarning();
    if (result) *result = res;
    return Status::success();
}

std::string midiOutputPath(const std::string& saveDir) {
    if (saveDir.empty()) return "midiout.wav";
    return saveDir.back() == '/' ? saveDir + "midiout.wav" : saveDir + "/midiout.wav";
}

Status renderMidiFile(Session& s, const std::string& midiPath, const std::string& wavPath,
                      const MidiRenderOptions& options, const MidiRenderProgress& progress, MidiRenderResult* result) {
    MidiSong song;
    if (Status st = readMidiFile(midiPath, song); !st) return st;
    WavStreamWriter out;
    bool opened = false;
    MidiRenderResult res;
    // The output is opened once the render has begun (it knows the rate).
    Status st = renderMidiSong(
        s, song, options,
        [&](SoundBuffer b) {
            if (!opened) {
                if (Status o = out.open(wavPath, res.sampleRate); !o) return o;
                opened = true;
            }
            return out.write(b);
        },
        progress, &res);
    if (st) st = out.commit();
    if (!st) out.discard();
    if (result) *result = res;
    return st;
}

}  // namespace kf
