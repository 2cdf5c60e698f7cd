// Sound files in the containers musicians use (WAV, AIFF, FLAC, Ogg Vorbis
// and Opus), read and written through libsndfile. The sample slots decode
// them to mono 16-bit; the exporters write FLAC and Ogg Vorbis.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/sound_buffer.h"
#include "engine/status.h"

namespace kf {

struct DecodedSound {
    std::vector<int16_t> samples;  // mono, 16-bit
    int32_t rate = 0;              // the file's own rate (information only)
    int channels = 0;              // before mixing
    int64_t clipped = 0;           // samples limited to the 16-bit range
};

enum class SoundFileKind {
    NotSoundFile,  // no container: the caller reads it as raw samples
    Decoded,
    Damaged,       // a container that cannot be decoded; see the message
};

// Decides by content: a file libsndfile opens as a container, or one that
// starts with the signature of a WAV, AIFF, FLAC or Ogg file, is decoded;
// anything else is left to the raw reader. Channels are averaged, and every
// sample is rounded half to even to 16 bits and clipped (and counted) there.
// More than maxSamples decoded samples is an error, as is a container that
// claims more bytes than the file holds. problem gets one line without the
// file name.
SoundFileKind decodeSoundFile(const std::string& path, uint64_t maxSamples, DecodedSound& out,
                              std::string& problem);

enum class SoundFileFormat { Flac, OggVorbis };
// FLAC holds the 16-bit samples exactly; Ogg Vorbis is lossy.
Status writeSoundFile(const std::string& fileName, SoundBuffer sound, int32_t rate, SoundFileFormat format);

}  // namespace kf
