// Writes the default sample files 16tone3.smp and 16tone2.smp into the
// directory given as the only argument (default: the current directory).
#include <cstdio>
#include <string>

#include "sample_tones.h"

namespace {
bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}
}  // namespace

int main(int argc, char** argv) {
    std::string dir = argc > 1 ? argv[1] : ".";
    if (!dir.empty() && dir.back() != '/') dir += '/';
    bool ok = writeFile(dir + "16tone3.smp", kf::tools::toBytes(kf::tools::tone3())) &&
              writeFile(dir + "16tone2.smp", kf::tools::toBytes(kf::tools::tone2()));
    if (!ok) {
        std::fprintf(stderr, "make_samples: cannot write into %s\n", dir.c_str());
        return 1;
    }
    return 0;
}
