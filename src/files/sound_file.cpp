#include "files/sound_file.h"

#include <sndfile.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <new>

#include "engine/arith.h"

namespace kf {

namespace {

struct SndCloser {
    void operator()(SNDFILE* f) const { sf_close(f); }
};
using SndFile = std::unique_ptr<SNDFILE, SndCloser>;

// The first 12 bytes say which container this is meant to be; a damaged
// file of a known kind is reported rather than played as noise.
struct Signature {
    bool container = false;
    uint64_t claimedBytes = 0;  // the RIFF/FORM size + 8; 0 when unknown
};

Signature readSignature(const std::string& path) {
    std::array<uint8_t, 12> h{};
    std::ifstream in(path, std::ios::binary);
    in.read(reinterpret_cast<char*>(h.data()), h.size());
    if (in.gcount() < 4) return {};
    auto is = [&](const char* tag) { return std::memcmp(h.data(), tag, 4) == 0; };
    Signature s;
    s.container = is("RIFF") || is("RIFX") || is("RF64") || is("FORM") || is("fLaC") || is("OggS");
    if (in.gcount() == 12 && (is("RIFF") || is("FORM"))) {
        const uint32_t size = is("RIFF") ? static_cast<uint32_t>(h[4] | h[5] << 8 | h[6] << 16 | uint32_t{h[7]} << 24)
                                         : static_cast<uint32_t>(uint32_t{h[4]} << 24 | h[5] << 16 | h[6] << 8 | h[7]);
        // Writers that stream leave 0 or all ones: unknown, not a claim.
        if (size != 0 && size != 0xFFFFFFFFu) s.claimedBytes = uint64_t{size} + 8;
    }
    return s;
}

}  // namespace

SoundFileKind decodeSoundFile(const std::string& path, uint64_t maxSamples, DecodedSound& out,
                              std::string& problem) {
    const Signature sig = readSignature(path);
    SF_INFO info{};
    SndFile f(sf_open(path.c_str(), SFM_READ, &info));
    // libsndfile guesses some headerless files from their extension; those
    // stay with the raw reader, whose behaviour presets rely on.
    if (f && (info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_RAW) f.reset();
    if (!f) {
        if (!sig.container) return SoundFileKind::NotSoundFile;
        problem = std::string("damaged sound file (") + sf_strerror(nullptr) + ")";
        return SoundFileKind::Damaged;
    }
    std::error_code ec;
    const uint64_t size = std::filesystem::file_size(path, ec);
    if (!ec && sig.claimedBytes > size + 1) {  // RIFF pads odd chunks by one byte
        problem = "truncated sound file (" + std::to_string(size) + " of " + std::to_string(sig.claimedBytes) +
                  " bytes)";
        return SoundFileKind::Damaged;
    }
    if (info.channels < 1) {
        problem = "sound file without channels";
        return SoundFileKind::Damaged;
    }
    if (info.frames > 0 && static_cast<uint64_t>(info.frames) > maxSamples) {
        problem = std::to_string(info.frames) + " samples, over the limit of " + std::to_string(maxSamples);
        return SoundFileKind::Damaged;
    }
    // Samples as doubles in -1..1, so every depth and float converts by the
    // same rounding.
    sf_command(f.get(), SFC_SET_NORM_DOUBLE, nullptr, SF_TRUE);
    out = DecodedSound{};
    out.rate = info.samplerate;
    out.channels = info.channels;
    const size_t channels = static_cast<size_t>(info.channels);
    constexpr sf_count_t kChunk = 4096;
    std::vector<double> buf;
    try {
        buf.resize(static_cast<size_t>(kChunk) * channels);
        if (info.frames > 0) out.samples.reserve(static_cast<size_t>(info.frames));
        for (;;) {
            const sf_count_t got = sf_readf_double(f.get(), buf.data(), kChunk);
            if (got <= 0) break;
            if (out.samples.size() + static_cast<uint64_t>(got) > maxSamples) {
                problem = "over the limit of " + std::to_string(maxSamples) + " samples";
                return SoundFileKind::Damaged;
            }
            for (sf_count_t i = 0; i < got; ++i) {
                double sum = 0;
                for (size_t c = 0; c < channels; ++c) sum += buf[static_cast<size_t>(i) * channels + c];
                const int64_t v = roundHalfEven(sum / static_cast<double>(channels) * 32768.0);
                if (v > 32767 || v < -32768) ++out.clipped;
                out.samples.push_back(static_cast<int16_t>(v > 32767 ? 32767 : v < -32768 ? -32768 : v));
            }
        }
    } catch (const std::bad_alloc&) {
        problem = "not enough memory";
        return SoundFileKind::Damaged;
    }
    if (sf_error(f.get()) != SF_ERR_NO_ERROR) {
        problem = std::string("damaged sound file (") + sf_strerror(f.get()) + ")";
        return SoundFileKind::Damaged;
    }
    if (info.frames > 0 && static_cast<sf_count_t>(out.samples.size()) < info.frames) {
        problem = "damaged sound file (" + std::to_string(out.samples.size()) + " of " +
                  std::to_string(info.frames) + " samples decoded)";
        return SoundFileKind::Damaged;
    }
    return SoundFileKind::Decoded;
}

Status writeSoundFile(const std::string& fileName, SoundBuffer sound, int32_t rate, SoundFileFormat format) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 1;
    info.format = format == SoundFileFormat::Flac ? (SF_FORMAT_FLAC | SF_FORMAT_PCM_16)
                                                  : (SF_FORMAT_OGG | SF_FORMAT_VORBIS);
    SndFile f(sf_open(fileName.c_str(), SFM_WRITE, &info));
    if (!f) return Status::error(fileName + ": " + sf_strerror(nullptr));
    const sf_count_t n = sound.count > 0 && sound.samples ? sound.count : 0;
    if (sf_writef_short(f.get(), sound.samples, n) != n)
        return Status::error(fileName + ": " + sf_strerror(f.get()));
    // Closing flushes the encoder; its failure is a failed write.
    if (sf_close(f.release()) != 0) return Status::error(fileName + ": cannot finish the file");
    return Status::success();
}

}  // namespace kf
