// A preset file opened and rendered. One session serves every input (its
// start-up costs far more than a short render); each input starts from the
// same units and seed, and the sound is cut to 1024 samples so
// that a damaged length field cannot make one run take seconds.
#include <algorithm>

#include "fuzz_util.h"

namespace {

struct Harness {
    kf::Session session;
    kf::SoundScheme startUnits;
    std::string path = kf::fuzz::tempFile(".kfp");
    Harness() {
        session.render().setAutoRender(false);
        session.params().readUnits([this](const kf::SoundScheme& u) { startUnits = u; });
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Harness* h = new Harness;
    kf::Session& s = h->session;
    kf::fuzz::writeFile(h->path, data, size);
    s.params().editUnits([](kf::SoundScheme& u) { u = h->startUnits; });
    if (!s.files().openPreset(h->path, false)) return 0;
    s.params().set(kf::ParamId::Length, std::min(s.params().get(kf::ParamId::Length), 1));
    s.params().set(kf::ParamId::AdditionalSilence, std::min(s.params().get(kf::ParamId::AdditionalSilence), 1));
    kf::fuzz::renderOnce(s);
    return 0;
}
