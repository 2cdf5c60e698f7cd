// The settings file: read, written back, read again. The numbers survive
// the round trip (they are written in decimal).
#include <string>

#include "files/settings.h"
#include "fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string in = kf::fuzz::tempFile(".ini"), out = kf::fuzz::tempFile("-out.ini");
    kf::fuzz::writeFile(in, data, size);
    const kf::Settings s = kf::readSettings(in);
    kf::parseSettingsInt(std::string(reinterpret_cast<const char*>(data), size), 7);
    std::remove(out.c_str());
    if (!kf::writeSettings(out, s)) return 0;
    const kf::Settings back = kf::readSettings(out);
    if (back.midiIn != s.midiIn || back.waveOut != s.waveOut || back.bufSize != s.bufSize) __builtin_trap();
    return 0;
}
