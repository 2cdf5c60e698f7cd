// The hashes of the render corpus, recorded from the scalar path. A change
// that is meant to change samples records them anew (the identity test
// prints the table of the build it runs).
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace kf::cases {

inline const std::map<std::string, uint64_t>& recorded() {
    static const std::map<std::string, uint64_t> m{
        {"startup", 0xdcf3cb30c581c836ull},
        {"startup-1-sample", 0xe9ee75664b0a19a0ull},
        {"startup-long", 0x43bc80640d6de24aull},
        {"wave-0", 0xad94a681c3eef752ull},
        {"wave-1", 0x3741eed2556ae0ccull},
        {"wave-2", 0x521680435ffa3061ull},
        {"wave-3", 0x47a0ee04294ab5ceull},
        {"wave-4", 0x126119997b8cc183ull},
        {"wave-5", 0x905bdfad04aae8e0ull},
        {"wave-6", 0x586f430108702238ull},
        {"wave-7", 0x613f5d6ba6adf036ull},
        {"wave-8", 0x0bfb72860ef253e9ull},
        {"wave-9", 0x26ab723820e9cefaull},
        {"wave-10", 0x4a172071628bd86eull},
        {"wave-11", 0x93bc66fff9754fdeull},
        {"wave-13", 0x8b4d914407df03feull},
        {"shape-extremes", 0x71fad72acc26eca3ull},
        {"source-1", 0xa6f0acdec241c1b2ull},
        {"source-2", 0x8e2e6cdb673dd61aull},
        {"source-3", 0xedce50cb27115fecull},
        {"source-4", 0xc4e5b1062eb3e92bull},
        {"source-5", 0x314a2d60313693ffull},
        {"source-6", 0x41fc18cb8fbcc369ull},
        {"source-7", 0xc2fd03a74c62a5a4ull},
        {"source-8", 0x1f09902877098a1dull},
        {"source-9", 0xa1eeace6a7b2f2faull},
        {"source-10", 0xb566d530ec302507ull},
        {"source-11", 0xf928321a79004271ull},
        {"source-12", 0x02f251b2b5d94530ull},
        {"source-13", 0x57c763e40022fefaull},
        {"running-sum", 0x4fb3221530fe7ab4ull},
        {"chord", 0x4c838c77d68365ebull},
        {"worst", 0xe951c866488199bdull},
        {"worst-reverb", 0x1eab98c6e0b62c4bull},
        {"worst-realtime-512", 0xcd490e9d911061b6ull},
        {"worst-realtime-chord", 0x3107cd9bd9cbacaeull},
    };
    return m;
}

}  // namespace kf::cases
