#include "app/cli_errors.h"

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <system_error>

namespace kf::cli {

namespace {
int g_exit = kExitOk;
std::string g_command;
char g_interruptLine[256] = "kestrafon-cli: interrupted\n";

void printLine(const std::string& message) {
    // A library message may end in a newline of its own; one line it stays.
    std::string m = message;
    while (!m.empty() && std::isspace(static_cast<unsigned char>(m.back()))) m.pop_back();
    for (char& c : m)
        if (c == '\n' || c == '\r') c = ' ';
    std::cerr << messagePrefix() << m << "\n";
}

std::string fmt(double v) {
    std::ostringstream s;
    s << v;
    return s.str();
}
}  // namespace

void setCommandName(const std::string& name) {
    g_command = name;
    const std::string line = messagePrefix() + "interrupted\n";
    if (line.size() < sizeof g_interruptLine) std::memcpy(g_interruptLine, line.c_str(), line.size() + 1);
}

const char* interruptLine() { return g_interruptLine; }
const std::string& commandName() { return g_command; }

std::string messagePrefix() { return g_command.empty() ? "kestrafon-cli: " : "kestrafon-cli: " + g_command + ": "; }

void fail(const std::string& message) {
    printLine(message);
    g_exit = kExitFailure;
}

void usageError(const std::string& message) {
    printLine(message);
    g_exit = kExitUsage;
}

void warn(const std::string& message) { std::cerr << messagePrefix() << "warning: " << message << "\n"; }

void setExitCode(int code) { g_exit = code; }
int exitCode() { return g_exit; }

CLI::Validator wholeNumber(int64_t lo, int64_t hi) {
    const std::string range = std::to_string(lo) + " to " + std::to_string(hi);
    return CLI::Validator(
        [lo, hi, range](std::string& text) -> std::string {
            const char* b = text.data();
            const char* e = b + text.size();
            if (b != e && *b == '+') ++b;
            int64_t v = 0;
            auto [p, ec] = std::from_chars(b, e, v);
            if (text.empty() || p == b) return "not a number: '" + text + "'";
            if (p != e) {
                // "1.5" or "2e3": a number, but not a whole one.
                char* end = nullptr;
                std::strtod(text.c_str(), &end);
                if (end && *end == '\0') return "must be a whole number from " + range + ", got " + text;
                return "not a number: '" + text + "'";
            }
            if (ec == std::errc::result_out_of_range || v < lo || v > hi)
                return "must be from " + range + ", got " + text;
            return {};
        },
        std::to_string(lo) + ".." + std::to_string(hi));
}

CLI::Validator numberAtLeast(double lo) {
    return CLI::Validator(
        [lo](std::string& text) -> std::string {
            char* end = nullptr;
            errno = 0;
            const double v = std::strtod(text.c_str(), &end);
            if (text.empty() || end == text.c_str() || *end != '\0' || std::isnan(v))
                return "not a number: '" + text + "'";
            if (!std::isfinite(v) || errno == ERANGE) return "out of range: " + text;
            if (v < lo) return "must be " + fmt(lo) + " or more, got " + text;
            return {};
        },
        "NUMBER >= " + fmt(lo));
}

std::string lowerCase(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool flushStdout() {
    // The first failing flush holds the reason; a second one may say less.
    errno = 0;
    std::cout.flush();
    int err = errno;
    if (std::fflush(stdout) != 0 && !err) err = errno;
    const bool bad = !std::cout || std::ferror(stdout);
    if (!bad) return true;
    fail(std::string("cannot write to standard output") + (err ? std::string(": ") + std::strerror(err) : ""));
    std::clearerr(stdout);
    std::cout.clear();
    return false;
}



bool writeStdout(const std::string& data) {
    std::cout.flush();
    errno = 0;
    if (std::fwrite(data.data(), 1, data.size(), stdout) != data.size() || std::fflush(stdout) != 0) {
        const int err = errno ? errno : EIO;
        std::clearerr(stdout);
        fail(std::string("cannot write to standard output: ") + std::strerror(err));
        return false;
    }
    return true;
}

bool parseWholeNumber(const std::string& text, const char* option, int64_t lo, int64_t hi,
                      int64_t& value, const char* rangeText) {
    int64_t v = 0;
    const char* b = text.data();
    const char* e = b + text.size();
    auto [p, ec] = std::from_chars(b, e, v);
    if (text.empty() || ec == std::errc::invalid_argument || p != e) {
        usageError(std::string(option) + " needs an integer, got \"" + text + "\"");
        return false;
    }
    if (ec == std::errc::result_out_of_range || v < lo || v > hi) {
        usageError(std::string(option) + " must be " +
                   (rangeText ? std::string(rangeText) : std::to_string(lo) + ".." + std::to_string(hi)) +
                   ", got " + text);
        return false;
    }
    value = v;
    return true;
}

}  // namespace kf::cli
