// The one way Kestrafon writes a file: the data goes into a temporary file
// beside the destination, is synced to the disk and only then renamed over
// the destination, so a failed, interrupted or crashed write leaves the old
// file as it was. An existing device or pipe (/dev/null, a FIFO) is written
// in place: renaming would replace the device node itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/status.h"

namespace kf {

// The streaming form, for writers that produce the file block by block.
// Errors name the destination (never the temporary) and the system's cause;
// any failure discards the temporary.
class AtomicFile {
public:
    AtomicFile() = default;
    ~AtomicFile();  // discards an uncommitted temporary
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates the temporary (exclusive, private until it gets the mode the
    // destination has or a plain create would give). A symbolic link as the
    // destination is followed: its target is replaced, the link stays.
    Status open(const std::string& path);
    // Appends bytes.
    Status write(const void* data, size_t size);
    Status write(const std::vector<uint8_t>& bytes) { return write(bytes.data(), bytes.size()); }
    // Overwrites bytes already written (a header completed at the end).
    Status writeAt(int64_t offset, const void* data, size_t size);
    // Syncs, renames over the destination and syncs the directory.
    Status commit();
    // Removes the temporary; the destination is not touched.
    void discard();

    bool isOpen() const { return fd_ >= 0; }
    const std::string& path() const { return path_; }

private:
    Status fail(int err);

    std::string path_;    // as given, for messages
    std::string target_;  // the file the rename replaces
    std::string temp_;
    int fd_ = -1;
    int slot_ = -1;        // entry in the pending list removed on interrupt
    bool inPlace_ = false;
};

// The whole-file form: `produce` writes everything through the file.
Status writeFileAtomically(const std::string& path, const std::function<Status(AtomicFile&)>& produce);

// Fails as writing `path` would fail at its start (missing directory, no
// permission, a directory in its place), without touching it: lets long
// work stop before it begins.
Status checkWritable(const std::string& path);

// True when both names are the same file: for existing files the same
// device and inode (so links and other spellings are caught), for two names
// not yet made the same place once links and "./", "../" are resolved.
bool isSameFile(const std::string& a, const std::string& b);

// Removes the temporaries being written right now. Async-signal-safe: for
// a handler that ends the program on Ctrl+C.
void removePendingTemporaries();

}  // namespace kf
