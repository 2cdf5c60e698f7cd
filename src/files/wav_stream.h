// A 16-bit mono WAV file written block by block into a temporary file
// beside the target, which replaces the target only once it is complete:
// a failed or cancelled write leaves an existing file as it was.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "engine/sound_buffer.h"
#include "engine/status.h"

namespace kf {

class WavStreamWriter {
public:
    WavStreamWriter() = default;
    ~WavStreamWriter();  // discards an uncommitted file
    WavStreamWriter(const WavStreamWriter&) = delete;
    WavStreamWriter& operator=(const WavStreamWriter&) = delete;

    Status open(const std::string& fileName, int32_t sampleRate);
    Status write(SoundBuffer block);
    // Completes the header, closes and renames over the target.
    Status commit();
    // Removes the temporary file; the target is not touched.
    void discard();

    int64_t samplesWritten() const { return samples_; }
    // The temporary being written ("" when none).
    const std::string& tempPath() const { return temp_; }

private:
    Status fail(const char* what, int err);

    std::FILE* file_ = nullptr;
    std::string target_, temp_;
    int32_t rate_ = 0;
    int64_t samples_ = 0;
};

}  // namespace kf
