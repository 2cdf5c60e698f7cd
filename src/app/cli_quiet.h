// Audio libraries (ALSA, JACK, PulseAudio) print on stderr while they probe
// for devices and servers. While a StderrCapture lives, whatever is written
// to file descriptor 2 goes into a temporary file instead; the command shows
// it with --verbose, or as one line when it explains a failure.
#pragma once

#include <string>

namespace kf::cli {

// --verbose: library messages are passed through.
void setVerbose(bool on);
bool verbose();

class StderrCapture {
public:
    StderrCapture();   // does nothing with --verbose
    ~StderrCapture();  // restores stderr; with --verbose the text was shown anyway
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

    // Restores stderr and returns what was captured (once).
    std::string finish();
    // The captured text as one line (whitespace runs folded), at most `max` characters.
    static std::string oneLine(const std::string& text, size_t max = 300);

private:
    int saved_ = -1;
    int file_ = -1;
    std::string text_;
};

}  // namespace kf::cli
