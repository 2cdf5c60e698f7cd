// JSON text built into a preset file (the "build" command), and arbitrary
// bytes shown as JSON (the "dump" command). Both must give back what they
// were given: dump then build is the identity on any 4263 bytes, and a
// built preset dumps and builds to itself.
#include <array>
#include <cstring>

#include "files/preset_json.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::array<uint8_t, kf::kPresetFileSize> built{}, again{};
    nlohmann::json j = nlohmann::json::parse(data, data + size, nullptr, false);
    if (!j.is_discarded()) {
        if (!kf::jsonToPresetFile(j, built)) return 0;
    } else {
        std::memcpy(built.data(), data, std::min(size, built.size()));
    }
    // Arbitrary bytes hold values no control can: the unchecked build restores them.
    if (!kf::jsonToPresetFile(kf::presetFileToJson(built.data()), again, false) || again != built) __builtin_trap();
    return 0;
}
