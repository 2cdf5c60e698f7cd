#include "core/midi_render.h"

#include <algorithm>
#include <mutex>

#include "core/session.h"
#include "engine/arith.h"
#include "engine/realtime_renderer.h"
#include "files/wav_stream.h"

namespace kf {

// ---------------------------------------------------------------------------
// Voice allocation

MidiPlan planVoices(const std::vector<MidiFileEvent>& events, int voices, int32_t sampleRate) {
    struct State {
        bool used = false, held = false;
        uint8_t note = 0;
        uint64_t struck = 0, released = 0;  // event counters, for "earliest"
    };
    std::vector<State> v(static_cast<size_t>(std::max(voices, 1)));
    MidiPlan plan;
    uint64_t counter = 0;
    for (const MidiFileEvent& e : events) {
        ++counter;
        const int64_t sample = std::max<int64_t>(0, roundHalfEven(e.seconds * sampleRate));
        const auto stamp = static_cast<int32_t>(std::min<int64_t>(sample - 1, INT32_MAX));
        plan.lastSample = std::max(plan.lastSample, sample);
        if (e.isController()) {
            plan.controllers.push_back({stamp, e.message});
        } else if (e.isNoteOn()) {
            const size_t none = v.size();
            size_t pick = none;
            for (size_t i = 0; i < v.size() && pick == none; ++i)
                if (!v[i].used) pick = i;
            if (pick == none)
                for (size_t i = 0; i < v.size(); ++i)
                    if (!v[i].held && (pick == none || v[i].released < v[pick].released)) pick = i;
            if (pick == none) {
                pick = 0;
                for (size_t i = 1; i < v.size(); ++i)
                    if (v[i].struck < v[pick].struck) pick = i;
            }
            v[pick] = State{true, true, e.data1(), counter, 0};
            plan.notes.push_back({static_cast<int>(pick), MidiEvent{stamp, e.message}});
        } else if (e.isNoteOff()) {
            size_t pick = v.size();
            for (size_t i = 0; i < v.size(); ++i)
                if (v[i].held && v[i].note == e.data1() && (pick == v.size() || v[i].struck < v[pick].struck))
                    pick = i;
            if (pick == v.size()) continue;
            v[pick].held = false;
            v[pick].released = counter;
            plan.notes.push_back({static_cast<int>(pick), MidiEvent{stamp, e.message}});
        }
    }
    return plan;
}

void QueueFeeder::feed(MidiQueue& q, int32_t blockStart, int32_t blockCount) {
    const int64_t end = int64_t{blockStart} + blockCount;
    // The queue is empty at a block's start (the block before consumed or
    // skipped everything); 255 entries never lap its read index.
    for (int pushed = 0; next_ < entries_.size() && pushed < MidiQueue::kSize - 1; ++pushed) {
        const MidiEvent& e = entries_[next_];
        const int64_t effect = std::max({int64_t{e.time} + 1, lastEffect_ + 1, int64_t{blockStart}});
        if (effect >= end) break;
        q.push(e.time, e.message);
        lastEffect_ = effect;
        ++next_;
    }
}

// ---------------------------------------------------------------------------
// Voices

struct MidiVoices::Voice {
    Engine engine;
    TimbreRecord timbre;
    MidiQueue queue;
};

MidiRunState MidiVoices::silentStart() {
    MidiRunState r;
    r.level = {0, 0};
    r.stage = {-1, -1};
    return r;
}

MidiVoices::MidiVoices(Session& s, int voices, int32_t blockCapacity) {
    sampleRate_ = s.files().sampleRate();
    for (size_t k = 0; k < 2; ++k) numbers_[k] = s.live().midiControllers().number[k].load();
    // Each voice's engine is prepared as the stream prepares its own, and
    // starts from the timbre as a stream start resets it.
    for (int i = 0; i < std::max(voices, 1); ++i) {
        auto v = std::make_unique<Voice>();
        Engine& e = v->engine;
        if (blockCapacity > e.capacity()) e.allocate(blockCapacity);
        v->timbre = s.live().prepareStreamEngine(e, &v->queue);
        e.midiRun = silentStart();
        voices_.push_back(std::move(v));
    }
    const GeneratorParams& gen = voices_.front()->engine.gen;
    scratch_.assign(static_cast<size_t>(std::max(blockCapacity, 1)), 0);

    // A full release from the top level takes ceil(32768 / step) samples.
    int32_t tail = sampleRate_;
    for (const MidiEnvelopeParams& p : gen.midiEnv) {
        const int64_t step = std::max<int64_t>(1, 32768 / (int64_t{p.release} * 127 + 1));
        tail = std::max<int32_t>(tail, static_cast<int32_t>((32768 + step - 1) / step));
    }
    defaultTail_ = tail;
}

MidiVoices::~MidiVoices() = default;

MidiQueue& MidiVoices::queue(int v) { return voices_[static_cast<size_t>(v)]->queue; }

void MidiVoices::setController(int k, int32_t value) {
    for (auto& v : voices_) v->engine.gen.midiValue[static_cast<size_t>(k)] = value;
}

void MidiVoices::renderVoice(int v, SoundBuffer block, int32_t renderPosition) {
    Voice& voice = *voices_[static_cast<size_t>(v)];
    clearSound(block);
    voice.engine.progress = nullptr;
    voice.engine.renderPosition = renderPosition;
    voice.engine.renderTimbre(block, voice.timbre, true);
    if (!voice.engine.lastUnitError.ok && warning_.empty()) warning_ = voice.engine.lastUnitError.message;
}

void MidiVoices::renderMixed(SoundBuffer out, int32_t renderPosition) {
    renderVoice(0, out, renderPosition);
    for (int v = 1; v < count(); ++v) {
        SoundBuffer b{out.count, scratch_.data()};
        renderVoice(v, b, renderPosition);
        addSounds(out, b, out);
    }
}

// ---------------------------------------------------------------------------
// Rendering

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
    if (options.voices < 1 || options.voices > 16) return Status::error("Voices must be 1 to 16");
    if (options.blockLength < 1 || options.blockLength > 16384) return Status::error("Block length must be 1 to 16384");
    if (!(options.tailSeconds < 3600)) return Status::error("Tail must be under an hour");

    MidiVoices voices(s, options.voices, options.blockLength);
    const int32_t rate = voices.sampleRate();
    const MidiPlan plan = planVoices(events, voices.count(), rate);
    const int64_t tail =
        options.tailSeconds < 0 ? voices.defaultTail() : roundHalfEven(options.tailSeconds * static_cast<double>(rate));
    // Stems line up in a host only at the song's own length.
    const int64_t end = roundHalfEven(std::clamp(song.endSeconds, 0.0, double(INT32_MAX)) * rate);
    const int64_t total = std::max<int64_t>({1, plan.lastSample + tail, end});
    if (total > int64_t{INT32_MAX} - options.blockLength) return Status::error("MIDI file too long to render");

    MidiRenderResult res;
    res.sampleRate = rate;
    for (const auto& e : events) res.notes += e.isNoteOn() ? 1 : 0;
    if (result) *result = res;

    std::vector<std::vector<MidiEvent>> perVoice(static_cast<size_t>(voices.count()));
    for (const VoiceEntry& n : plan.notes) perVoice[static_cast<size_t>(n.voice)].push_back(n.event);
    std::vector<QueueFeeder> feeders;
    for (auto& list : perVoice) feeders.emplace_back(std::move(list));

    const int32_t b = options.blockLength;
    std::vector<int16_t> block(static_cast<size_t>(b));
    size_t controller = 0;
    for (int64_t p = 0; p < total; p += b) {
        const auto pos = static_cast<int32_t>(p);
        for (int v = 0; v < voices.count(); ++v) feeders[static_cast<size_t>(v)].feed(voices.queue(v), pos, b);
        // Controller values are read once per block: a change counts from
        // the block in which it takes effect.
        for (; controller < plan.controllers.size() && int64_t{plan.controllers[controller].time} + 1 < p + b;
             ++controller) {
            const MidiEvent& c = plan.controllers[controller];
            const auto [n1, n2] = voices.controllerNumbers();
            if (c.note() == n1) voices.setController(0, c.velocity());
            if (c.note() == n2) voices.setController(1, c.velocity());
        }
        voices.renderMixed(SoundBuffer{b, block.data()}, pos);
        const int64_t done = std::min<int64_t>(total, p + b);
        const SoundBuffer out{static_cast<int32_t>(done - p), block.data()};
        res.clipped += countFullScale(out.samples, out.count);
        if (Status st = sink(out); !st) return st;
        res.samples = done;
        if (progress && !progress(done, total)) return Status::error("Cancelled");
    }
    res.warning = voices.unitWarning();
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
