// One error style for every command: a single line
// "kestrafon-cli: <command>: <what>" on stderr and a documented exit code.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <string>

namespace kf::cli {

// The exit codes --help and the README document.
enum ExitCode : int { kExitOk = 0, kExitFailure = 1, kExitUsage = 2, kExitInterrupted = 130 };

// The command a run executes ("" before one is known); set as soon as the
// parser meets it, so that parser errors name it too.
void setCommandName(const std::string& name);
const std::string& commandName();

// "kestrafon-cli: <command>: " (or "kestrafon-cli: " before a command is known).
std::string messagePrefix();
// "kestrafon-cli: <command>: interrupted\n", kept in a fixed buffer for the
// signal handler.
const char* interruptLine();

// Prints one error line and sets the exit code to 1 (fail) or 2 (usageError,
// a bad argument). A message that already begins with "<command>: " is not
// prefixed twice.
void fail(const std::string& message);
void usageError(const std::string& message);
// One warning line; the exit code is untouched.
void warn(const std::string& message);

void setExitCode(int code);
int exitCode();

// A whole-string decimal integer option in lo..hi, checked by the command
// itself; on failure one usage error line ("<command>: OPTION needs an
// integer, got ..." or "... must be lo..hi, got ...") and false.
bool parseWholeNumber(const std::string& text, const char* option, int64_t lo, int64_t hi,
                      int64_t& value, const char* rangeText = nullptr);

// Parser checks with plain messages, for CLI11's ->check().
// A whole number in lo..hi ("not a number", "must be a whole number",
// "must be from lo to hi").
CLI::Validator wholeNumber(int64_t lo, int64_t hi);
// A finite decimal number of at least lo.
CLI::Validator numberAtLeast(double lo);

// The option value's name in lower case, for names that are matched without
// regard to case (formats, waveforms).
std::string lowerCase(std::string s);

// Flushes stdout and reports a failed write (a full disk, /dev/full) as an
// error; true when everything written so far reached its destination.
bool flushStdout();
// Writes data to stdout at once, checked (the failure names its reason).
bool writeStdout(const std::string& data);

}  // namespace kf::cli
