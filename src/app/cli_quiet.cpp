#include "app/cli_quiet.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <iostream>

namespace kf::cli {

namespace {
bool g_verbose = false;
}

void setVerbose(bool on) { g_verbose = on; }
bool verbose() { return g_verbose; }

StderrCapture::StderrCapture() {
    if (g_verbose) return;
    std::fflush(stderr);
    std::cerr.flush();
    std::FILE* tmp = std::tmpfile();
    if (!tmp) return;
    file_ = dup(fileno(tmp));
    std::fclose(tmp);
    if (file_ < 0) return;
    saved_ = dup(2);
    if (saved_ < 0 || dup2(file_, 2) < 0) {
        if (saved_ >= 0) close(saved_);
        close(file_);
        saved_ = file_ = -1;
    }
}

StderrCapture::~StderrCapture() { finish(); }

std::string StderrCapture::finish() {
    if (saved_ < 0) return std::move(text_);
    std::fflush(stderr);
    dup2(saved_, 2);
    close(saved_);
    saved_ = -1;
    std::string text;
    if (lseek(file_, 0, SEEK_SET) == 0) {
        char buf[4096];
        ssize_t n = 0;
        while ((n = read(file_, buf, sizeof buf)) > 0 && text.size() < (1u << 20))
            text.append(buf, static_cast<size_t>(n));
    }
    close(file_);
    file_ = -1;
    return text;
}

std::string StderrCapture::oneLine(const std::string& text, size_t max) {
    std::string line;
    bool space = false;
    for (char c : text) {
        if (std::isspace(static_cast<unsigned char>(c))) {
            space = !line.empty();
            continue;
        }
        if (space) line += ' ';
        space = false;
        line += c;
    }
    if (line.size() > max) line = line.substr(0, max - 3) + "...";
    return line;
}

}  // namespace kf::cli
