// The plugin as hosts see it: found through LV2_PATH in the build tree,
// instantiated with lilv, fed notes, its state saved and restored.
#include <gtest/gtest.h>
#include <lilv/lilv.h>
#include <lv2/atom/forge.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/log/log.h>
#include <lv2/midi/midi.h>
#include <lv2/options/options.h>
#include <lv2/patch/patch.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>
#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <map>
#include <new>
#include <string>
#include <vector>

#include "core/midi_render.h"
#include "core/session.h"
#include "plugin/plugin_ports.h"

// run() must neither allocate nor lock: both are counted while it runs.
// (The replaced new and delete pair malloc with free, which g++ cannot see.)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
static std::atomic<bool> gCounting{false};
static std::atomic<int> gAllocations{0}, gLocks{0};
void* operator new(size_t n) {
    if (gCounting) ++gAllocations;
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
extern "C" int pthread_mutex_lock(pthread_mutex_t* m) {
    using Lock = int (*)(pthread_mutex_t*);
    static const auto real = reinterpret_cast<Lock>(dlsym(RTLD_NEXT, "pthread_mutex_lock"));
    if (gCounting) ++gLocks;
    return real(m);
}

namespace {

using namespace kf;

const std::string kKeys = std::string(KF_TEST_SOURCE_DIR) + "/examples/keys.kfp";
constexpr uint32_t kBlock = 256;
constexpr int kVoices = 3;

struct Note {
    int64_t sample;  // at the host's rate
    uint8_t status, note, velocity;
};

// A small host: URIDs, a log kept as text, a worker run between blocks.
class Host {
public:
    explicit Host(double rate, const LilvState* state = nullptr) : rate_(rate) {
        setenv("LV2_PATH", KF_LV2_PATH, 1);
        world_ = lilv_world_new();
        lilv_world_load_all(world_);
        LilvNode* uri = lilv_new_uri(world_, lv2::kPluginUri);
        plugin_ = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world_), uri);
        lilv_node_free(uri);
        if (!plugin_) return;
        map_ = {this, [](LV2_URID_Map_Handle h, const char* u) { return static_cast<Host*>(h)->id(u); }};
        unmap_ = {this, [](LV2_URID_Unmap_Handle h, LV2_URID id) { return static_cast<Host*>(h)->uri(id); }};
        schedule_ = {this, [](LV2_Worker_Schedule_Handle h, uint32_t size, const void* data) {
                         auto* self = static_cast<Host*>(h);
                         const auto* b = static_cast<const uint8_t*>(data);
                         if (self->jobCount_ + size > self->jobs_.size()) return LV2_WORKER_ERR_NO_SPACE;
                         std::memcpy(self->jobs_.data() + self->jobCount_, &size, 4);
                         std::memcpy(self->jobs_.data() + self->jobCount_ + 4, b, size);
                         self->jobCount_ += 4 + size;
                         return LV2_WORKER_SUCCESS;
                     }};
        log_ = {this, printLog, vprintLog};
        options_[0] = {LV2_OPTIONS_INSTANCE, 0, id(LV2_BUF_SIZE__maxBlockLength), sizeof(int32_t), id(LV2_ATOM__Int),
                       &maxBlock_};
        features_ = {{LV2_URID__map, &map_}, {LV2_URID__unmap, &unmap_}, {LV2_WORKER__schedule, &schedule_},
                     {LV2_LOG__log, &log_}, {LV2_OPTIONS__options, options_}};
        for (auto& f : features_) featureList_.push_back(&f);
        featureList_.push_back(nullptr);
        instance_ = lilv_plugin_instantiate(plugin_, rate, featureList_.data());
        if (!instance_) return;
        worker_ = static_cast<const LV2_Worker_Interface*>(
            lilv_instance_get_extension_data(instance_, LV2_WORKER__interface));
        for (uint32_t p = lv2::kVoices; p < lv2::kPortCount; ++p) {
            LilvNode* def = nullptr;
            lilv_port_get_range(plugin_, lilv_plugin_get_port_by_index(plugin_, p), &def, nullptr, nullptr);
            controls_[p] = def ? lilv_node_as_float(def) : 0;
            lilv_node_free(def);
            lilv_instance_connect_port(instance_, p, &controls_[p]);
        }
        lilv_instance_connect_port(instance_, lv2::kMidiIn, in_.data());
        lilv_instance_connect_port(instance_, lv2::kNotify, notify_.data());
        lilv_instance_connect_port(instance_, lv2::kAudioOut, out_.data());
        if (state) lilv_state_restore(state, instance_, setPort, this, 0, featureList_.data());
        lilv_instance_activate(instance_);
    }
    ~Host() {
        if (instance_) {
            lilv_instance_deactivate(instance_);
            lilv_instance_free(instance_);
        }
        lilv_world_free(world_);
    }
    bool ok() const { return instance_ != nullptr; }
    // As a host stops and starts its transport: the stream starts afresh.
    void restart() {
        lilv_instance_deactivate(instance_);
        lilv_instance_activate(instance_);
    }
    float& control(uint32_t port) { return controls_[port]; }

    // Renders `total` frames in blocks of kBlock, sending the notes and,
    // in the first block, a patch:Set of the preset file when given.
    std::vector<float> play(const std::vector<Note>& notes, int64_t total, const std::string& presetFile = {}) {
        std::vector<float> out;
        out.reserve(static_cast<size_t>(total));
        size_t next = 0;
        for (int64_t pos = 0; pos < total; pos += kBlock) {
            LV2_Atom_Forge forge;
            lv2_atom_forge_init(&forge, &map_);
            lv2_atom_forge_set_buffer(&forge, reinterpret_cast<uint8_t*>(in_.data()), sizeof in_);
            LV2_Atom_Forge_Frame seq;
            lv2_atom_forge_sequence_head(&forge, &seq, 0);
            if (pos == 0 && !presetFile.empty()) {
                LV2_Atom_Forge_Frame obj;
                lv2_atom_forge_frame_time(&forge, 0);
                lv2_atom_forge_object(&forge, &obj, 0, id(LV2_PATCH__Set));
                lv2_atom_forge_key(&forge, id(LV2_PATCH__property));
                lv2_atom_forge_urid(&forge, id(lv2::kPresetFileUri));
                lv2_atom_forge_key(&forge, id(LV2_PATCH__value));
                lv2_atom_forge_path(&forge, presetFile.c_str(), static_cast<uint32_t>(presetFile.size()));
                lv2_atom_forge_pop(&forge, &obj);
            }
            for (; next < notes.size() && notes[next].sample < pos + kBlock; ++next) {
                const uint8_t msg[3] = {notes[next].status, notes[next].note, notes[next].velocity};
                lv2_atom_forge_frame_time(&forge, notes[next].sample - pos);
                lv2_atom_forge_atom(&forge, 3, id(LV2_MIDI__MidiEvent));
                lv2_atom_forge_write(&forge, msg, 3);
            }
            lv2_atom_forge_pop(&forge, &seq);
            notify_[0] = sizeof notify_ - 8;  // the capacity, as hosts say it
            gCounting = true;
            lilv_instance_run(instance_, kBlock);
            gCounting = false;
            out.insert(out.end(), out_.begin(), out_.end());
            runWorker();
        }
        out.resize(static_cast<size_t>(total));
        return out;
    }

    LilvState* save() {
        return lilv_state_new_from_instance(plugin_, instance_, &map_, nullptr, nullptr, nullptr, nullptr, getPort,
                                            this, 0, featureList_.data());
    }
    LilvState* preset(const std::string& uri) {
        LilvNode* node = lilv_new_uri(world_, uri.c_str());
        lilv_world_load_resource(world_, node);
        LilvState* s = lilv_state_new_from_world(world_, &map_, node);
        lilv_node_free(node);
        return s;
    }
    LV2_URID id(const char* uri) {
        auto [it, added] = ids_.try_emplace(uri, static_cast<LV2_URID>(ids_.size() + 1));
        if (added) uris_[it->second] = it->first;
        return it->second;
    }
    const char* uri(LV2_URID i) { return uris_.count(i) ? uris_[i].c_str() : nullptr; }

    std::string log;

private:
    void runWorker() {
        std::vector<uint8_t> jobs(jobs_.begin(), jobs_.begin() + static_cast<long>(jobCount_));
        jobCount_ = 0;
        for (size_t at = 0; at < jobs.size();) {
            uint32_t size;
            std::memcpy(&size, jobs.data() + at, 4);
            worker_->work(lilv_instance_get_handle(instance_), respond, this, size, jobs.data() + at + 4);
            at += 4 + size;
        }
    }
    static int vprintLog(LV2_Log_Handle h, LV2_URID, const char* fmt, va_list ap) {
        char buf[1024];
        const int n = vsnprintf(buf, sizeof buf, fmt, ap);
        static_cast<Host*>(h)->log += buf;
        return n;
    }
    static int printLog(LV2_Log_Handle h, LV2_URID type, const char* fmt, ...) {
        va_list ap;
        va_start(ap, fmt);
        const int n = vprintLog(h, type, fmt, ap);
        va_end(ap);
        return n;
    }
    static LV2_Worker_Status respond(LV2_Worker_Respond_Handle h, uint32_t size, const void* data) {
        auto* self = static_cast<Host*>(h);
        return self->worker_->work_response(lilv_instance_get_handle(self->instance_), size, data);
    }
    static void setPort(const char* symbol, void* data, const void* value, uint32_t, uint32_t) {
        auto* self = static_cast<Host*>(data);
        LilvNode* s = lilv_new_string(self->world_, symbol);
        if (const LilvPort* p = lilv_plugin_get_port_by_symbol(self->plugin_, s))
            self->controls_[lilv_port_get_index(self->plugin_, p)] = *static_cast<const float*>(value);
        lilv_node_free(s);
    }
    static const void* getPort(const char* symbol, void* data, uint32_t* size, uint32_t* type) {
        auto* self = static_cast<Host*>(data);
        LilvNode* s = lilv_new_string(self->world_, symbol);
        const LilvPort* p = lilv_plugin_get_port_by_symbol(self->plugin_, s);
        lilv_node_free(s);
        if (!p) return nullptr;
        *size = sizeof(float);
        *type = self->id(LV2_ATOM__Float);
        return &self->controls_[lilv_port_get_index(self->plugin_, p)];
    }

    double rate_;
    LilvWorld* world_ = nullptr;
    const LilvPlugin* plugin_ = nullptr;
    LilvInstance* instance_ = nullptr;
    const LV2_Worker_Interface* worker_ = nullptr;
    std::map<std::string, LV2_URID> ids_;
    std::map<LV2_URID, std::string> uris_;
    LV2_URID_Map map_{};
    LV2_URID_Unmap unmap_{};
    LV2_Worker_Schedule schedule_{};
    LV2_Log_Log log_{};
    int32_t maxBlock_ = kBlock;
    LV2_Options_Option options_[2]{};
    std::vector<LV2_Feature> features_;
    std::vector<const LV2_Feature*> featureList_;
    std::array<float, lv2::kPortCount> controls_{};
    std::array<uint64_t, 1024> in_{}, notify_{};
    std::array<float, kBlock> out_{};
    std::array<uint8_t, 1 << 16> jobs_{};
    size_t jobCount_ = 0;
};

// A short phrase: two voices overlapping, notes on odd frames of blocks.
std::vector<Note> phrase(double scale) {
    auto at = [scale](double s) { return static_cast<int64_t>(std::llround(s * scale)); };
    return {{at(300), 0x90, 60, 100}, {at(2001), 0x90, 64, 90},  {at(5555), 0x90, 60, 0},
            {at(7000), 0x90, 67, 80}, {at(9100), 0x90, 64, 0},   {at(12345), 0x90, 67, 0}};
}

std::vector<int16_t> reference(const std::vector<Note>& notes, int32_t rate, int voices, int64_t total) {
    Session s;
    EXPECT_TRUE(s.files().openPreset(kKeys, false));
    std::vector<MidiFileEvent> events;
    for (const Note& n : notes)
        events.push_back({static_cast<double>(n.sample) / rate, n.status | uint32_t{n.note} << 8 | uint32_t{n.velocity} << 16});
    MidiRenderOptions o;
    o.voices = voices;
    o.blockLength = kBlock;
    std::vector<int16_t> out;
    EXPECT_TRUE(renderMidiEvents(s, events, o, [&](SoundBuffer b) {
        out.insert(out.end(), b.samples, b.samples + b.count);
        return Status::success();
    }));
    out.resize(static_cast<size_t>(total));
    return out;
}

std::vector<int16_t> toInt(const std::vector<float>& f) {
    std::vector<int16_t> out;
    for (float v : f) out.push_back(static_cast<int16_t>(std::lround(v * 32768.0f)));
    return out;
}

// Rising zero crossings per second over [from, to).
double pitch(const std::vector<float>& s, size_t from, size_t to, double rate) {
    int crossings = 0;
    for (size_t i = from + 1; i < to; ++i) crossings += s[i - 1] < 0 && s[i] >= 0;
    return crossings * rate / static_cast<double>(to - from);
}

TEST(Lv2Plugin, PlaysAsRenderMidiAndKeepsItsStateWithoutAllocatingOrLocking) {
    constexpr int32_t rate = 22050;
    constexpr int64_t total = 16000;
    Host host(rate);
    ASSERT_TRUE(host.ok());
    host.control(lv2::kVoices) = kVoices;
    host.play({}, 2 * kBlock, kKeys);  // the preset file, opened by the worker and adopted
    EXPECT_EQ(host.log, "");
    host.restart();
    const std::vector<int16_t> expected = reference(phrase(1), rate, kVoices, total);
    EXPECT_EQ(toInt(host.play(phrase(1), total)), expected);
    EXPECT_EQ(gAllocations.load(), 0);
    EXPECT_EQ(gLocks.load(), 0);

    LilvState* state = host.save();
    ASSERT_NE(state, nullptr);
    Host restored(rate, state);
    lilv_state_free(state);
    restored.control(lv2::kVoices) = kVoices;
    EXPECT_EQ(toInt(restored.play(phrase(1), total)), expected);

    // A sound parameter's port, once moved, reaches the sound through the worker.
    const auto mainVolume = std::find(lv2::kParamPorts.begin(), lv2::kParamPorts.end(), ParamId::MainVolume);
    restored.control(lv2::kFirstParam + static_cast<uint32_t>(mainVolume - lv2::kParamPorts.begin())) = 128;
    restored.play({}, kBlock);
    restored.restart();
    auto peak = [](const std::vector<int16_t>& s) {
        int p = 0;
        for (int16_t v : s) p = std::max(p, std::abs(int{v}));
        return p;
    };
    EXPECT_NEAR(peak(toInt(restored.play(phrase(1), total))), peak(expected) / 2.0, peak(expected) * 0.1);
}

TEST(Lv2Plugin, AtAnotherRateKeepsPitchAndLength) {
    constexpr double rate = 48000, own = 22050;
    Host host(rate);
    ASSERT_TRUE(host.ok());
    host.control(lv2::kVoices) = 1;
    host.play({}, kBlock, kKeys);
    host.restart();
    const std::vector<Note> held{{1000, 0x90, 69, 100}, {1000 + 24000, 0x90, 69, 0}};
    const std::vector<float> out = host.play(held, 48000);
    const std::vector<int16_t> ref = reference({{459, 0x90, 69, 100}, {459 + 11025, 0x90, 69, 0}}, 22050, 1, 22050);
    std::vector<float> reff;
    for (int16_t v : ref) reff.push_back(v / 32768.0f);
    EXPECT_NEAR(pitch(out, 6000, 20000, rate), pitch(reff, 6000 * own / rate, 20000 * own / rate, own), 3.0);
    // The note sounds as long as the reference's, in seconds.
    auto length = [](const std::vector<float>& s, double r) {
        size_t first = s.size(), last = 0;
        for (size_t i = 0; i < s.size(); ++i)
            if (std::fabs(s[i]) > 0.01f) first = std::min(first, i), last = i;
        return static_cast<double>(last - first) / r;
    };
    EXPECT_NEAR(length(out, rate), length(reff, own), 0.002);
}

TEST(Lv2Plugin, RefusesWhatIsNotAPresetInTheWordsOfEveryOpener) {
    Host host(22050);
    ASSERT_TRUE(host.ok());
    const std::string notPreset = std::string(KF_TEST_SOURCE_DIR) + "/examples/keys.json";
    host.play({}, kBlock, notPreset);
    Session s;
    EXPECT_EQ(host.log, s.files().openPreset(notPreset).message + "\n");
}

TEST(Lv2Plugin, OffersTheFactoryBankAsPresets) {
    Host host(44100);
    ASSERT_TRUE(host.ok());
    LilvState* preset = host.preset(std::string(lv2::kPresetPrefix) + "Keys/Electric_piano");
    ASSERT_NE(preset, nullptr);
    Host played(44100, preset);
    lilv_state_free(preset);
    float peak = 0;
    for (float v : played.play({{100, 0x90, 60, 100}}, 8000)) peak = std::max(peak, std::fabs(v));
    EXPECT_GT(peak, 0.05f);
}

}  // namespace
