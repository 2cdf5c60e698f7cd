// Whole-file byte I/O with the system's error text in the returned Status
// (the window shows it in its input/output error box).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/status.h"

namespace kf {

// Creates or replaces the file and writes the bytes; a failure leaves what
// was written so far.
Status writeFileBytes(const std::string& fileName, const std::vector<uint8_t>& bytes);
// Reads at most maxBytes from the start of the file. A directory or a file
// that cannot be opened is an error.
Status readFileBytes(const std::string& fileName, size_t maxBytes, std::vector<uint8_t>& out);
// True when a regular file of that name can be opened for reading.
bool canOpenForReading(const std::string& fileName);

inline void putLE16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}
inline void putLE32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
inline uint32_t getLE32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
inline uint16_t getLE16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

}  // namespace kf
