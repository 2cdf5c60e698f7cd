// The two sample slots an oscillator can play: raw signed 16-bit
// little-endian files read whole, with a start offset in samples.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/sound_buffer.h"

namespace kf {

constexpr size_t kMaxSamplePath = 100;  // presets hold 100 characters
// Sample files above this size are not read (a wrong path must not pull a
// huge file into memory); the slot stays empty.
constexpr uint64_t kMaxSampleFileBytes = uint64_t{64} << 20;

class SampleSlot {
public:
    // Reads the whole file (size / 2 samples, an odd last byte ignored) and
    // sets the view at startPos. An empty name, a missing or unreadable file,
    // anything but a regular file (a FIFO would block) or a file over
    // kMaxSampleFileBytes leave the slot empty. Every load clears the byte swap.
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

private:
    std::vector<int16_t> data_;
    SoundBuffer view_;
    std::string storedPath_;
    std::string name_;
    bool swapped_ = false;
};

// Why a sample file cannot be loaded ("" when it can): the system's text
// for a missing or unreadable file, "not a regular file", or the size over
// the limit.
std::string sampleFileProblem(const std::string& fileName);

// Everything after the last "\" or "/" (old files store Windows paths).
std::string bareFileName(const std::string& path);

// A default sample: the current directory first, then the installed data
// directory, then the source tree's data/. Returns the bare name when none
// has it (loading then leaves the slot empty).
std::string findDefaultSample(const std::string& name);

}  // namespace kf
