// The two sample slots an oscillator can play: sound files (WAV, AIFF, FLAC,
// Ogg) decoded to mono 16-bit, or raw signed 16-bit little-endian files read
// whole, with a start offset in samples.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/sound_buffer.h"

namespace kf {

constexpr size_t kMaxSamplePath = 100;  // presets hold 100 characters
// Raw sample files above this size, and sound files decoding to more than
// this many bytes of 16-bit samples, are not read (a wrong path must not pull
// a huge file into memory); the slot stays empty.
constexpr uint64_t kMaxSampleFileBytes = uint64_t{64} << 20;

class SampleSlot {
public:
    // Reads the whole file and sets the view at startPos (in samples of the
    // decoded sound). A sound file is told by its content and decoded to mono
    // 16-bit; anything else is raw (size / 2 samples, an odd last byte
    // ignored). An empty name, a missing, unreadable or damaged file,
    // anything but a regular file (a FIFO would block) or a file over the
    // limit leave the slot empty, with problem() saying why. Every load
    // clears the byte swap.
    void load(const std::string& fileName, int32_t startPos);
    // Reloads from the stored path with a new start (the start-position edit).
    void reload(int32_t startPos) { load(std::string(storedPath_), startPos); }

    // The part that is played: from the start position to the end, count >= 0.
    SoundBuffer view() const { return view_; }
    int32_t loadedCount() const { return static_cast<int32_t>(data_.size()); }
    // The name as last loaded, cut to 100 characters; empty when empty.
    const std::string& storedPath() const { return storedPath_; }
    // File name without directories, or "No sample".
    std::string label() const;

    // Swaps the bytes of each sample of the view (not those before the start).
    void byteSwap();
    bool swapped() const { return swapped_; }

    // Why the last load left the slot empty (one line, without the file
    // name); empty after a good load.
    const std::string& problem() const { return problem_; }
    // The sound file's own rate (0 for raw files): shown, never applied.
    int32_t fileRate() const { return fileRate_; }
    // Samples the 16-bit conversion of the last load limited.
    int64_t clipped() const { return clipped_; }

private:
    std::vector<int16_t> data_;
    SoundBuffer view_;
    std::string storedPath_;
    std::string name_;
    bool swapped_ = false;
    std::string problem_;
    int32_t fileRate_ = 0;
    int64_t clipped_ = 0;
};

// Why a sample file cannot be loaded ("" when it can): the system's text
// for a missing or unreadable file, "not a regular file", a damaged sound
// file, or the size over the limit.
std::string sampleFileProblem(const std::string& fileName);

// Everything after the last "\" or "/" (old files store Windows paths).
std::string bareFileName(const std::string& path);

// A default sample: the current directory first, then the installed data
// directory, then the source tree's data/. Returns the bare name when none
// has it (loading then leaves the slot empty).
std::string findDefaultSample(const std::string& name);

}  // namespace kf
