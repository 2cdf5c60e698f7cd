// Shared by the fuzz targets: the readers under test take file names, so
// each input goes through one temporary file per process (scripts/fuzz.sh
// points TMPDIR into the build tree, so nothing is left in /tmp). The
// harnesses live for the whole process and are never destroyed.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/session.h"

namespace kf::fuzz {

inline std::string tempFile(const char* suffix) {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/kf-fuzz-" + std::to_string(getpid()) + suffix;
}

inline void writeFile(const std::string& path, const uint8_t* data, size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    if (size && std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);
}

// One render from the same seed, its notifications consumed.
inline void renderOnce(Session& s) {
    s.render().setSeed(0);
    s.render().renderClick();
    s.render().waitForRender();
    s.params().drainNotifications();
}

}  // namespace kf::fuzz
