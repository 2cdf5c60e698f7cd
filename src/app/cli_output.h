// Result files of the commands. A file is written by the files layer's
// safe writer (a temporary beside it, renamed over it once complete), so a
// failed or interrupted run never leaves a partial file in place of a good
// one. "-" names standard output: the data is gathered in a private
// temporary file and copied there once complete.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/status.h"

namespace kf::cli {

class OutputFile {
public:
    explicit OutputFile(std::string path);
    ~OutputFile();  // removes the standard output's temporary
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    const std::string& path() const { return path_; }
    bool toStdout() const { return path_ == "-"; }
    // The name shown in messages ("standard output" for "-").
    std::string shownName() const { return toStdout() ? "standard output" : path_; }

    // Fails now if the place cannot be written, so that it fails before any
    // long work. Idempotent.
    Status open();

    // The writer writes the whole file under the name it is given (through
    // the files layer's writers); its messages name the target.
    Status write(const std::function<Status(const std::string& file)>& writer);

private:
    Status copyToStdout();

    std::string path_;
    std::string temp_;  // standard output's data until it is copied
    bool opened_ = false;
};

// True when `output` is the same regular file as one of `inputs` (device
// and inode, so links and other spellings count; "-" as an input is standard
// input, as the output standard output, which is not checked).
// Then it reports a usage error naming both, before anything is written.
bool refuseSameFile(const std::string& output, const std::vector<std::string>& inputs);

// Ctrl+C, SIGTERM and SIGHUP end the program at once with exit code 130, removing
// the temporary files being written, if any.
void installInterruptHandler();
// Called by the progress line: a terminal line to end before exiting.
void setLineOpenOnInterrupt(bool open);

}  // namespace kf::cli
