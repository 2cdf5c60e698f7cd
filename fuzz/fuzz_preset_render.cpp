// A preset file opened and rendered. One session serves every input (its
// start-up costs far more than a short render); each input starts from the
// same units and seed, and the sound is cut to 1024 samples so
// that a damaged length field cannot make one run take seconds.
#include <algorithm>
#include <mutex>

#include "core/session.h"
#include "fuzz_util.h"

namespace {

struct Harness {
    kf::Session session;
    kf::SoundScheme startUnits;
    std::string path = kf::fuzz::tempFile(".kfp");
    Harness() : startUnits((session.waitForRender(), session.units)) {}
    ~Harness() { std::remove(path.c_str()); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Harness* h = new Harness;
    kf::Session& s = h->session;
    kf::fuzz::writeFile(h->path, data, size);
    {
        std::lock_guard<std::recursive_mutex> lock(s.mutex());
        s.units = h->startUnits;
    }
    if (!s.openPreset(h->path, false)) return 0;
    {
        std::lock_guard<std::recursive_mutex> lock(s.mutex());
        s.panel.length = std::min(s.panel.length, 1);
        s.panel.additionalSilence = std::min(s.panel.additionalSilence, 1);
        s.getTimbre(s.current());
        s.oscillatorsChanged = true;
        s.random.seed = 0;
    }
    s.renderNow();
    return 0;
}
