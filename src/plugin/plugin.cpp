// The LV2 instrument: ports, worker, state and the patch:writable preset
// file mapped onto the voice engine. The audio thread (run) only reads its
// ports, hands MIDI to the stream and jobs to the worker; every file, the
// session and every allocation stay in the worker, instantiate and state.
#include <lv2/atom/atom.h>
#include <lv2/atom/forge.h>
#include <lv2/atom/util.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/log/log.h>
#include <lv2/log/logger.h>
#include <lv2/midi/midi.h>
#include <lv2/options/options.h>
#include <lv2/patch/patch.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "core/voice_engine.h"
#include "plugin/plugin_ports.h"
#include "plugin/plugin_sound.h"
#include "plugin/plugin_stream.h"

namespace kf::lv2 {
namespace {

constexpr int32_t kDefaultMaxBlock = 4096;
constexpr int32_t kLargestBlock = 8192;  // a larger host block is rendered in parts
constexpr size_t kParams = kParamPorts.size();

struct Uris {
    LV2_URID atomPath, atomChunk, atomObject, atomUrid, midiEvent, patchSet, patchGet, patchProperty, patchValue,
        presetFile, statePreset, stateSample1, stateSample2;
    explicit Uris(LV2_URID_Map* m) {
        auto u = [m](const char* uri) { return m->map(m->handle, uri); };
        atomPath = u(LV2_ATOM__Path);
        atomChunk = u(LV2_ATOM__Chunk);
        atomObject = u(LV2_ATOM__Object);
        atomUrid = u(LV2_ATOM__URID);
        midiEvent = u(LV2_MIDI__MidiEvent);
        patchSet = u(LV2_PATCH__Set);
        patchGet = u(LV2_PATCH__Get);
        patchProperty = u(LV2_PATCH__property);
        patchValue = u(LV2_PATCH__value);
        presetFile = u(kPresetFileUri);
        statePreset = u(kStatePresetUri);
        stateSample1 = u(kStateSample1Uri);
        stateSample2 = u(kStateSample2Uri);
    }
};

// What run() asks of the worker. A path follows an Open job.
struct Job {
    enum Kind : uint32_t { Open, Params } kind;
    uint32_t changed;  // Params: bit k for kParamPorts[k]
    std::array<float, kParams> values;
};

class Plugin {
public:
    Plugin(double rate, LV2_URID_Map* map, LV2_Worker_Schedule* schedule, LV2_Log_Log* log, int32_t maxBlock)
        : uris_(map), schedule_(schedule) {
        lv2_log_logger_init(&logger_, map, log);
        lv2_atom_forge_init(&forge_, map);
        sound_ = std::make_unique<PluginSound>();
        voices_ = std::make_unique<VoiceEngine>(sound_->snapshot(), maxBlock);
        soundRate_ = sound_->sampleRate();
        stream_ = std::make_unique<PluginStream>(*voices_, rate, maxBlock);
        stream_->setSoundRate(soundRate_);
    }

    void connect(uint32_t port, void* data) {
        if (port == kMidiIn) midiIn_ = static_cast<const LV2_Atom_Sequence*>(data);
        else if (port == kNotify) notify_ = static_cast<LV2_Atom_Sequence*>(data);
        else if (port == kAudioOut) out_ = static_cast<float*>(data);
        else if (port < kPortCount) controls_[port] = static_cast<const float*>(data);
    }

    void activate() {
        stream_->warmUp();
        paramsSeen_ = false;
    }

    void run(uint32_t frames);

    LV2_Worker_Status work(LV2_Worker_Respond_Function respond, LV2_Worker_Respond_Handle handle, uint32_t size,
                           const void* data);
    LV2_Worker_Status workResponse(uint32_t size, const void* data);
    LV2_State_Status save(LV2_State_Store_Function store, LV2_State_Handle handle, const LV2_Feature* const* features);
    LV2_State_Status restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle,
                             const LV2_Feature* const* features);

private:
    void readEnginePorts();
    void readParamPorts();
    void readMessages();
    void writeNotify();
    void publishSound() {
        voices_->publish(sound_->snapshot());
        soundRate_.store(sound_->sampleRate(), std::memory_order_release);
    }

    Uris uris_;
    LV2_Worker_Schedule* schedule_;
    LV2_Log_Logger logger_{};
    LV2_Atom_Forge forge_{};
    std::unique_ptr<PluginSound> sound_;     // worker and state only
    std::unique_ptr<VoiceEngine> voices_;
    std::unique_ptr<PluginStream> stream_;   // run only
    std::atomic<int32_t> soundRate_{0};  // set by the worker and restore, read by run

    const LV2_Atom_Sequence* midiIn_ = nullptr;
    LV2_Atom_Sequence* notify_ = nullptr;
    float* out_ = nullptr;
    std::array<const float*, kPortCount> controls_{};
    std::array<float, kParams> lastParams_{};
    float gainDb_ = 0;
    bool paramsSeen_ = false;
    // The preset file's path for the host (run's own copy, from the worker).
    std::array<char, 4096> notifyPath_{};
    bool notifyPending_ = false;
};

void Plugin::readEnginePorts() {
    auto port = [this](Port p, float fallback) { return controls_[p] ? *controls_[p] : fallback; };
    const int voices = std::clamp(static_cast<int>(std::lround(port(kVoices, kEnginePorts[0].start))), 1, kMaxVoices);
    const float gain = port(kGain, kEnginePorts[1].start);
    if (voices != voices_->voices() || gain != gainDb_) {
        voices_->setVoices(voices);
        // The gain is counted from the headroom of 1/voices, which the
        // summed voices never clip at; 0 dB is exactly that headroom.
        if (gain == 0.0f)
            voices_->setAutoGain();
        else
            voices_->setGainDb(gain - 20.0 * std::log10(static_cast<double>(voices)));
        gainDb_ = gain;
    }
    voices_->setOctaveDown(port(kOctaveDown, 0) > 0.5f);
}

// A sound parameter's port is applied when it moves: the sound's own value
// (from a preset or the saved state) stands until the player turns the knob.
void Plugin::readParamPorts() {
    Job job{Job::Params, 0, {}};
    for (size_t k = 0; k < kParams; ++k) {
        const float* p = controls_[kFirstParam + k];
        job.values[k] = p ? *p : lastParams_[k];
        if (paramsSeen_ && job.values[k] != lastParams_[k]) job.changed |= 1u << k;
    }
    if (job.changed == 0 || !paramsSeen_ || !schedule_ ||
        schedule_->schedule_work(schedule_->handle, sizeof job, &job) == LV2_WORKER_SUCCESS)
        lastParams_ = job.values;  // else tried again next block
    paramsSeen_ = true;
}

void Plugin::readMessages() {
    if (!midiIn_) return;
    LV2_ATOM_SEQUENCE_FOREACH(midiIn_, ev) {
        const auto frame = static_cast<uint32_t>(std::max<int64_t>(0, ev->time.frames));
        if (ev->body.type == uris_.midiEvent) {
            stream_->midi(frame, reinterpret_cast<const uint8_t*>(ev + 1), ev->body.size);
            continue;
        }
        if (ev->body.type != uris_.atomObject) continue;
        const auto* obj = reinterpret_cast<const LV2_Atom_Object*>(&ev->body);
        if (obj->body.otype == uris_.patchGet) {
            notifyPending_ = notifyPath_[0] != 0;
        } else if (obj->body.otype == uris_.patchSet) {
            const LV2_Atom* property = nullptr;
            const LV2_Atom* value = nullptr;
            lv2_atom_object_get(obj, uris_.patchProperty, &property, uris_.patchValue, &value, 0);
            if (!property || property->type != uris_.atomUrid ||
                reinterpret_cast<const LV2_Atom_URID*>(property)->body != uris_.presetFile)
                continue;
            if (!value || value->type != uris_.atomPath || value->size == 0 || value->size > 4000 || !schedule_)
                continue;
            // The job: its header, then the path with its terminating zero.
            std::array<uint8_t, sizeof(Job) + 4096> msg{};
            const Job job{Job::Open, 0, {}};
            std::memcpy(msg.data(), &job, sizeof job);
            std::memcpy(msg.data() + sizeof job, value + 1, value->size);
            schedule_->schedule_work(schedule_->handle, static_cast<uint32_t>(sizeof job + value->size), msg.data());
        }
    }
}

void Plugin::writeNotify() {
    if (!notify_) return;
    const uint32_t capacity = notify_->atom.size;
    lv2_atom_forge_set_buffer(&forge_, reinterpret_cast<uint8_t*>(notify_), capacity);
    LV2_Atom_Forge_Frame seq;
    lv2_atom_forge_sequence_head(&forge_, &seq, 0);
    if (notifyPending_) {
        LV2_Atom_Forge_Frame obj;
        lv2_atom_forge_frame_time(&forge_, 0);
        lv2_atom_forge_object(&forge_, &obj, 0, uris_.patchSet);
        lv2_atom_forge_key(&forge_, uris_.patchProperty);
        lv2_atom_forge_urid(&forge_, uris_.presetFile);
        lv2_atom_forge_key(&forge_, uris_.patchValue);
        lv2_atom_forge_path(&forge_, notifyPath_.data(), static_cast<uint32_t>(std::strlen(notifyPath_.data())));
        lv2_atom_forge_pop(&forge_, &obj);
        notifyPending_ = false;
    }
    lv2_atom_forge_pop(&forge_, &seq);
}

void Plugin::run(uint32_t frames) {
    readEnginePorts();
    readParamPorts();
    readMessages();
    stream_->setSoundRate(soundRate_.load(std::memory_order_acquire));
    if (out_) stream_->process(out_, frames);
    writeNotify();
}

LV2_Worker_Status Plugin::work(LV2_Worker_Respond_Function respond, LV2_Worker_Respond_Handle handle, uint32_t size,
                               const void* data) {
    if (size < sizeof(Job)) return LV2_WORKER_ERR_UNKNOWN;
    Job job;
    std::memcpy(&job, data, sizeof job);
    if (job.kind == Job::Open) {
        const std::string path(static_cast<const char*>(data) + sizeof job,
                               strnlen(static_cast<const char*>(data) + sizeof job, size - sizeof job));
        if (Status st = sound_->open(path); !st) {
            lv2_log_error(&logger_, "%s\n", st.message.c_str());
            return LV2_WORKER_SUCCESS;
        }
        publishSound();
        respond(handle, static_cast<uint32_t>(path.size() + 1), path.c_str());
    } else {
        for (size_t k = 0; k < kParams; ++k)
            if (job.changed & (1u << k)) sound_->set(kParamPorts[k], job.values[k]);
        publishSound();
    }
    return LV2_WORKER_SUCCESS;
}

LV2_Worker_Status Plugin::workResponse(uint32_t size, const void* data) {
    const size_t n = std::min<size_t>(size, notifyPath_.size() - 1);
    std::memcpy(notifyPath_.data(), data, n);
    notifyPath_[n] = 0;
    notifyPending_ = true;
    return LV2_WORKER_SUCCESS;
}

template <typename T>
const T* feature(const LV2_Feature* const* features, const char* uri) {
    for (int i = 0; features && features[i]; ++i)
        if (std::strcmp(features[i]->URI, uri) == 0) return static_cast<const T*>(features[i]->data);
    return nullptr;
}

LV2_State_Status Plugin::save(LV2_State_Store_Function store, LV2_State_Handle handle,
                              const LV2_Feature* const* features) {
    const auto* mapPath = feature<LV2_State_Map_Path>(features, LV2_STATE__mapPath);
    const std::vector<uint8_t> bytes = sound_->presetBytes();
    store(handle, uris_.statePreset, bytes.data(), bytes.size(), uris_.atomChunk,
          LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
    const LV2_URID keys[2] = {uris_.stateSample1, uris_.stateSample2};
    for (int slot = 1; slot <= 2; ++slot) {
        const std::string name = sound_->samplePath(slot);
        if (name.empty()) continue;
        std::error_code ec;
        std::string path = std::filesystem::absolute(name, ec).string();
        if (ec || !std::filesystem::exists(path, ec)) continue;
        char* abstract = mapPath ? mapPath->abstract_path(mapPath->handle, path.c_str()) : nullptr;
        if (abstract) path = abstract;
        store(handle, keys[slot - 1], path.c_str(), path.size() + 1, uris_.atomPath, LV2_STATE_IS_POD);
        std::free(abstract);
    }
    return LV2_STATE_SUCCESS;
}

LV2_State_Status Plugin::restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle,
                                 const LV2_Feature* const* features) {
    const auto* mapPath = feature<LV2_State_Map_Path>(features, LV2_STATE__mapPath);
    size_t size = 0;
    uint32_t type = 0, flags = 0;
    const void* preset = retrieve(handle, uris_.statePreset, &size, &type, &flags);
    if (!preset || type != uris_.atomChunk) return LV2_STATE_ERR_NO_PROPERTY;
    const std::vector<uint8_t> bytes(static_cast<const uint8_t*>(preset), static_cast<const uint8_t*>(preset) + size);
    std::string samples[2];
    const LV2_URID keys[2] = {uris_.stateSample1, uris_.stateSample2};
    for (int k = 0; k < 2; ++k) {
        const void* p = retrieve(handle, keys[k], &size, &type, &flags);
        if (!p || type != uris_.atomPath || size == 0) continue;
        const std::string stored(static_cast<const char*>(p), strnlen(static_cast<const char*>(p), size));
        char* absolute = mapPath ? mapPath->absolute_path(mapPath->handle, stored.c_str()) : nullptr;
        samples[k] = absolute ? absolute : stored;
        std::free(absolute);
    }
    if (Status st = sound_->restore(bytes, samples[0], samples[1]); !st) {
        lv2_log_error(&logger_, "%s\n", st.message.c_str());
        return LV2_STATE_ERR_UNKNOWN;
    }
    publishSound();
    return LV2_STATE_SUCCESS;
}

// ---------------------------------------------------------------------------
// The C interface

LV2_Handle instantiate(const LV2_Descriptor*, double rate, const char*, const LV2_Feature* const* features) {
    auto* map = const_cast<LV2_URID_Map*>(feature<LV2_URID_Map>(features, LV2_URID__map));
    auto* schedule = const_cast<LV2_Worker_Schedule*>(feature<LV2_Worker_Schedule>(features, LV2_WORKER__schedule));
    auto* log = const_cast<LV2_Log_Log*>(feature<LV2_Log_Log>(features, LV2_LOG__log));
    // Without a worker (a bare benchmark host) the sound stays as opened
    // or restored: files and the session stay off the audio thread.
    if (!map || rate < 1) return nullptr;
    int32_t maxBlock = kDefaultMaxBlock;
    if (const auto* options = feature<LV2_Options_Option>(features, LV2_OPTIONS__options)) {
        const LV2_URID maxKey = map->map(map->handle, LV2_BUF_SIZE__maxBlockLength);
        const LV2_URID intType = map->map(map->handle, LV2_ATOM__Int);
        for (const LV2_Options_Option* o = options; o->key; ++o)
            if (o->key == maxKey && o->type == intType && o->value)
                maxBlock = *static_cast<const int32_t*>(o->value);
    }
    maxBlock = std::clamp(maxBlock, 1, kLargestBlock);
    try {
        return new Plugin(rate, map, schedule, log, maxBlock);
    } catch (...) {
        return nullptr;
    }
}

Plugin* self(LV2_Handle h) { return static_cast<Plugin*>(h); }

void connectPort(LV2_Handle h, uint32_t port, void* data) { self(h)->connect(port, data); }
void activate(LV2_Handle h) { self(h)->activate(); }
void run(LV2_Handle h, uint32_t frames) { self(h)->run(frames); }
void deactivate(LV2_Handle) {}
void cleanup(LV2_Handle h) { delete self(h); }

LV2_Worker_Status work(LV2_Handle h, LV2_Worker_Respond_Function respond, LV2_Worker_Respond_Handle handle,
                       uint32_t size, const void* data) {
    return self(h)->work(respond, handle, size, data);
}
LV2_Worker_Status workResponse(LV2_Handle h, uint32_t size, const void* data) {
    return self(h)->workResponse(size, data);
}
LV2_State_Status save(LV2_Handle h, LV2_State_Store_Function store, LV2_State_Handle handle, uint32_t,
                      const LV2_Feature* const* features) {
    return self(h)->save(store, handle, features);
}
LV2_State_Status restore(LV2_Handle h, LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle, uint32_t,
                         const LV2_Feature* const* features) {
    return self(h)->restore(retrieve, handle, features);
}

const void* extensionData(const char* uri) {
    static const LV2_Worker_Interface worker{work, workResponse, nullptr};
    static const LV2_State_Interface state{save, restore};
    if (std::strcmp(uri, LV2_WORKER__interface) == 0) return &worker;
    if (std::strcmp(uri, LV2_STATE__interface) == 0) return &state;
    return nullptr;
}

const LV2_Descriptor descriptor{kPluginUri, instantiate, connectPort, activate, run, deactivate, cleanup,
                                extensionData};

}  // namespace
}  // namespace kf::lv2

extern "C" LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
    return index == 0 ? &kf::lv2::descriptor : nullptr;
}
