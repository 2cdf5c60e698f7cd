// Whole-file byte I/O with the system's error text in the returned Status
// (the window shows it in its input/output error box).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/byte_io.h"
#include "engine/status.h"

namespace kf {

// "<file>: <the system's text for err>", the window's input/output error.
Status ioError(const std::string& fileName, int err);
// Creates or replaces the file with the bytes through the safe writer
// (files/atomic_file.h): a failure leaves the old file as it was.
Status writeFileBytes(const std::string& fileName, const std::vector<uint8_t>& bytes);
// Reads at most maxBytes from the start of the file. A directory or a file
// that cannot be opened is an error.
Status readFileBytes(const std::string& fileName, size_t maxBytes, std::vector<uint8_t>& out);
// True for a regular file (not a directory, FIFO or device); opens nothing.
bool isRegularFile(const std::string& fileName);
// True when a regular file of that name can be opened for reading.
bool canOpenForReading(const std::string& fileName);

}  // namespace kf
