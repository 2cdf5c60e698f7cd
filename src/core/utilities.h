// The small things around the main window that need no window: the setup
// values the "Options..." dialog edits, the two external utility programs
// that get the current sound, and the instructions text.
#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

#include "engine/sound_buffer.h"
#include "engine/status.h"
#include "files/settings.h"

namespace kf {

// ---- setup dialog ----------------------------------------------------------

// The five strings of the setup dialog, in the settings they are kept in.
struct SetupValues {
    std::string util1Name, util1Command, util2Name, util2Command, saveDir;
    bool operator==(const SetupValues&) const = default;
};

SetupValues setupValues(const Settings& s);
void applySetup(Settings& s, const SetupValues& v);

// ---- utility programs ------------------------------------------------------

// The whole command line handed to the system: command, a blank, the file.
constexpr size_t kMaxUtilityCommandLine = 199;

// Where the sound is handed over: a directory only this user can use
// (mkdtemp, mode 0700) under $XDG_RUNTIME_DIR, else $TMPDIR or /tmp, made
// once per run of the program, where each launch gets a file of its own
// named after this pattern, created exclusively. So two launches (or two
// running copies of Kestrafon) never share a file and a link planted in the
// temporary directory is never followed.
constexpr const char* kUtilityWavPattern = "KSTF-XXXXXX.WAV";

// Writes `sound` as a 16-bit WAV at `sampleRate` to a new file as above and
// starts "command path" through the shell as a process of its own, not
// waited for; `pathOut` receives the path. The files stay until the program
// exits (then the directory goes with them): a program that hands the file
// to an already running copy of itself and returns at once still finds it.
// An empty command does nothing; a program that cannot be started is not
// reported (the launch is fire and forget). Errors: a command line over 199
// characters (nothing written, nothing started) and a failed write (nothing
// left behind, nothing started).
Status runUtility(const std::string& command, SoundBuffer sound, int32_t sampleRate,
                  std::string* pathOut = nullptr);

// ---- instructions text -----------------------------------------------------

constexpr const char* kManualName = "ReadThis.TXT";

// Joins the lines of a text into paragraphs: an empty line or one that
// begins with a blank starts a new paragraph; each line is added to the
// paragraph after one blank. So every paragraph begins with a blank (two
// after an empty line), and a leading indented line gives an empty first
// entry.
std::vector<std::string> joinParagraphs(std::istream& in);

// ReadThis.TXT from the current directory or the data directory, joined.
// A missing or unreadable file is an error; `lines` then holds what was read.
Status readInstructions(std::vector<std::string>& lines);

}  // namespace kf
