// Result files written the safe way: into a temporary file beside the
// target, renamed over it only once complete, so that a failed or
// interrupted run never leaves a partial file in place of a good one.
// "-" names standard output.
#pragma once

#include <functional>
#include <string>

#include "engine/status.h"

namespace kf::cli {

class OutputFile {
public:
    explicit OutputFile(std::string path);
    ~OutputFile();  // removes a temporary that was not committed
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    const std::string& path() const { return path_; }
    bool toStdout() const { return path_ == "-"; }
    // The name shown in messages ("standard output" for "-").
    std::string shownName() const { return toStdout() ? "standard output" : path_; }

    // Creates the temporary now, so a place that cannot be written fails
    // before any long work. Idempotent.
    Status open();
    // Where the writer puts the data (valid after open()).
    const std::string& tempPath() const { return temp_; }
    // Renames the temporary over the target (or copies it to stdout).
    Status commit();

    // open, writer(tempPath), commit. The writer's messages name the target.
    Status write(const std::function<Status(const std::string& file)>& writer);

private:
    std::string path_;    // as given
    std::string target_;  // the file the rename replaces (a symlink's target)
    std::string temp_;
    bool direct_ = false;  // an existing device or pipe is written in place
    bool opened_ = false;
};

// Ctrl+C, SIGTERM and SIGHUP end the program at once with exit code 130,
// removing the temporary file being written, if any.
void installInterruptHandler();
// A temporary written by other means than OutputFile, for the handler to
// remove ("" when it is gone).
void setPendingTemporary(const std::string& path);
// Called by the progress line: a terminal line to end before exiting.
void setLineOpenOnInterrupt(bool open);

}  // namespace kf::cli
