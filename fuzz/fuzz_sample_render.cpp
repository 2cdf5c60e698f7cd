// A sample file played by the sample example preset. The first two bytes
// choose the start positions of the two slots; the rest is the file.
#include <algorithm>
#include <mutex>

#include "core/session.h"
#include "fuzz_util.h"

namespace {

struct Harness {
    kf::Session session;
    std::string path = kf::fuzz::tempFile(".smp");
    Harness() {
        session.waitForRender();
        if (!session.openPreset(KF_SOURCE_DIR "/examples/sample.kfp", false)) std::abort();
        std::lock_guard<std::recursive_mutex> lock(session.mutex());
        session.autoRender = false;
        session.panel.length = std::min(session.panel.length, 1);
        session.getTimbre(session.current());
    }
    ~Harness() { std::remove(path.c_str()); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Harness* h = new Harness;
    kf::Session& s = h->session;
    if (size < 2) return 0;
    kf::fuzz::writeFile(h->path, data + 2, size - 2);
    {
        std::lock_guard<std::recursive_mutex> lock(s.mutex());
        s.sample1.load(h->path, data[0] * 4);
        s.sample2.load(h->path, data[1] * 4);
        if (data[0] & 1) s.sample2.byteSwap();
        s.oscillatorsChanged = true;
        s.random.seed = 0;
    }
    s.renderNow();
    return 0;
}
