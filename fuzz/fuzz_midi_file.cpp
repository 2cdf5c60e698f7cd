// A MIDI file parsed, its voices planned and its first second rendered with
// the keys example. The bytes go to the parser directly: the file layer's
// reading is the same for every input.
#include "core/midi_render.h"
#include "fuzz_util.h"

namespace {

struct Harness {
    kf::Session session;
    Harness() {
        session.render().setAutoRender(false);
        if (!session.files().openPreset(KF_SOURCE_DIR "/examples/keys.kfp", false)) std::abort();
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Harness* h = new Harness;
    kf::MidiSong song;
    if (!kf::parseMidiFile(std::vector<uint8_t>(data, data + size), "fuzz", song)) return 0;
    kf::MidiRenderOptions o;
    o.voices = 4;
    o.blockLength = 512;
    const int32_t second = h->session.files().sampleRate();
    // Cancelled once the first second is out.
    kf::renderMidiSong(
        h->session, song, o, [](kf::SoundBuffer) { return kf::Status::success(); },
        [second](int64_t done, int64_t) { return done < second; });
    return 0;
}
