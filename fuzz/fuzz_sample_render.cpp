// A sample file played by the sample example preset. The first two bytes
// choose the start positions of the two slots; the rest is the file.
#include <algorithm>

#include "fuzz_util.h"

namespace {

struct Harness {
    kf::Session session;
    std::string path = kf::fuzz::tempFile(".smp");
    Harness() {
        session.render().setAutoRender(false);
        if (!session.files().openPreset(KF_SOURCE_DIR "/examples/sample.kfp", false)) std::abort();
        session.params().set(kf::ParamId::Length, 1);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Harness* h = new Harness;
    kf::Session& s = h->session;
    if (size < 2) return 0;
    kf::fuzz::writeFile(h->path, data + 2, size - 2);
    s.params().set(kf::ParamId::Sample1StartPos, data[0] * 4);
    s.params().set(kf::ParamId::Sample2StartPos, data[1] * 4);
    s.files().loadSample(1, h->path);
    s.files().loadSample(2, h->path);
    if (data[0] & 1) s.files().byteSwapSample(2);
    kf::fuzz::renderOnce(s);
    return 0;
}
