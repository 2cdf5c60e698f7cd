#include "files/midi_file.h"

#include <smf.h>

#include <cerrno>
#include <cstdint>
#include <cstddef>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>

namespace kf {

namespace {

uint32_t be32(const std::vector<uint8_t>& b, size_t at) {
    return (uint32_t{b[at]} << 24) | (uint32_t{b[at + 1]} << 16) | (uint32_t{b[at + 2]} << 8) | b[at + 3];
}

// The library trusts a chunk's declared length and reads past the end of
// a truncated file, and it loses a track behind a chunk of unknown kind
// (which readers must skip). So the chunks are checked and only the header
// and track chunks handed on; false when a chunk runs past the end.
bool headerAndTracks(const std::vector<uint8_t>& b, std::vector<uint8_t>& kept) {
    kept.clear();
    size_t at = 0;
    while (at < b.size()) {
        if (b.size() - at < 8) return false;
        const uint64_t length = be32(b, at + 4);
        if (length > b.size() - at - 8) return false;
        const size_t end = at + 8 + static_cast<size_t>(length);
        if (at == 0 || std::memcmp(&b[at], "MTrk", 4) == 0)
            kept.insert(kept.end(), b.begin() + static_cast<std::ptrdiff_t>(at),
                        b.begin() + static_cast<std::ptrdiff_t>(end));
        at = end;
    }
    return true;
}

// The library reports problems through the logging of its GLib domain and
// carries on with what it could read; a report means the file is damaged.
struct LogCapture {
    std::string first;
    guint id = 0;
    LogCapture() {
        id = g_log_set_handler("libsmf", static_cast<GLogLevelFlags>(G_LOG_LEVEL_MASK | G_LOG_FLAG_FATAL |
                                                                     G_LOG_FLAG_RECURSION),
                               &LogCapture::handler, this);
    }
    ~LogCapture() { g_log_remove_handler("libsmf", id); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;
    static void handler(const gchar*, GLogLevelFlags level, const gchar* message, gpointer self) {
        auto* c = static_cast<LogCapture*>(self);
        // Debug chatter is not a complaint about the file, and neither are
        // the notices of what it skips and reads on without (chunks of
        // unknown kinds, which files may carry, a tempo it cannot use).
        if ((level & (G_LOG_LEVEL_DEBUG | G_LOG_LEVEL_INFO)) != 0 || !message) return;
        const std::string m = message;
        if (m.find("gnoring") != std::string::npos || m.find("continuing anyway") != std::string::npos) return;
        if (c->first.empty()) c->first = m;
    }
};

std::mutex& logMutex() {
    static std::mutex m;  // the handler table is process-wide
    return m;
}

std::string oneLine(std::string s) {
    for (char& c : s)
        if (c == '\n' || c == '\r') c = ' ';
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

}  // namespace

Status parseMidiFile(const std::vector<uint8_t>& bytes, const std::string& name, std::vector<MidiFileEvent>& events) {
    events.clear();
    // The 12 + 8 leading bytes: the header chunk's tag, length and first
    // fields, then the rest of the header; less than that is no MIDI file.
    if (bytes.size() < 20) return Status::error(name + ": read beyond end of file (not a MIDI file)");
    if (std::memcmp(bytes.data(), "MThd", 4) != 0) return Status::error(name + " is not a MIDI file");
    if (bytes.size() > static_cast<size_t>(INT32_MAX)) return Status::error(name + " is too large");
    std::vector<uint8_t> chunks;
    if (!headerAndTracks(bytes, chunks)) return Status::error(name + " is truncated");

    std::vector<MidiFileEvent> out;
    std::string complaint;
    {
        std::lock_guard<std::mutex> lock(logMutex());
        LogCapture log;
        std::unique_ptr<smf_t, void (*)(smf_t*)> smf(
            smf_load_from_memory(chunks.data(), static_cast<int>(chunks.size())), smf_delete);
        if (smf && log.first.empty()) {
            while (smf_event_t* e = smf_get_next_event(smf.get())) {
                if (smf_event_is_metadata(e) || smf_event_is_sysex(e) || e->midi_buffer_length < 3) continue;
                const uint8_t* m = e->midi_buffer;
                uint8_t status = m[0];
                uint8_t d1 = m[1] & 0x7F, d2 = m[2] & 0x7F;
                if ((status & 0xF0) == 0x80) {
                    status = static_cast<uint8_t>(0x90 | (status & 0x0F));
                    d2 = 0;
                }
                if ((status & 0xF0) != 0x90 && (status & 0xF0) != 0xB0) continue;
                out.push_back({e->time_seconds, uint32_t{status} | (uint32_t{d1} << 8) | (uint32_t{d2} << 16)});
            }
        }
        complaint = log.first;
        if (!smf && complaint.empty()) complaint = "cannot be read";
    }
    if (!complaint.empty()) return Status::error(name + " is not a valid MIDI file: " + oneLine(complaint));
    bool anyNote = false;
    for (const auto& e : out) anyNote = anyNote || e.isNoteOn();
    if (!anyNote) return Status::error(name + " holds no notes");
    events = std::move(out);
    return Status::success();
}

Status readMidiFile(const std::string& path, std::vector<MidiFileEvent>& events) {
    events.clear();
    std::ifstream f(path, std::ios::binary);
    if (!f) return Status::error("Cannot open " + path + ": " + std::strerror(errno));
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    if (f.bad()) return Status::error("Cannot read " + path + ": " + std::strerror(errno));
    return parseMidiFile(bytes, path, events);
}

}  // namespace kf
