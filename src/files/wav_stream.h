// A 16-bit mono WAV file written block by block through the safe writer:
// the target is replaced only once the file is complete and on the disk,
// so a failed or cancelled write leaves an existing file as it was.
#pragma once

#include <cstdint>
#include <string>

#include "engine/sound_buffer.h"
#include "engine/status.h"
#include "files/atomic_file.h"

namespace kf {

class WavStreamWriter {
public:
    WavStreamWriter() = default;
    WavStreamWriter(const WavStreamWriter&) = delete;
    WavStreamWriter& operator=(const WavStreamWriter&) = delete;

    Status open(const std::string& fileName, int32_t sampleRate);
    Status write(SoundBuffer block);
    // Completes the header and replaces the target.
    Status commit();
    // Removes the temporary file; the target is not touched.
    void discard() { file_.discard(); }

    int64_t samplesWritten() const { return samples_; }

private:
    AtomicFile file_;  // discards an uncommitted file when destroyed
    int32_t rate_ = 0;
    int64_t samples_ = 0;
};

}  // namespace kf
