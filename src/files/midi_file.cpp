#include "files/midi_file.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "engine/byte_io.h"

namespace kf {

namespace {

using Limits = MidiFileLimits;

// A kept message or a tempo change at its track's tick; `order` is the
// file order, so messages of one tick keep their track and track order.
struct TickEvent {
    int64_t tick = 0;
    uint64_t order = 0;
    uint32_t value = 0;  // packed message, or microseconds per quarter note
    bool operator<(const TickEvent& o) const { return tick != o.tick ? tick < o.tick : order < o.order; }
};

std::string hexByte(uint8_t b) {
    char s[8];
    std::snprintf(s, sizeof s, "0x%02X", b);
    return s;
}

class Reader {
public:
    explicit Reader(const std::string& name) : name_(name) {}

    Status parse(const uint8_t* d, size_t n, MidiSong& song);

private:
    const std::string& name_;
    std::vector<TickEvent> messages_, tempos_;
    uint64_t order_ = 0;
    int64_t endTick_ = 0;

    Status error(const std::string& what) const { return Status::error(name_ + " " + what); }
    Status track(const uint8_t* d, size_t length, size_t fileOffset, int index);
    Status keep(std::vector<TickEvent>& list, int64_t tick, uint32_t value);
    Status times(int32_t division, MidiSong& song);
};

// A variable-length quantity of at most four bytes (28 bits).
bool readVarLen(const uint8_t* d, size_t n, size_t& at, uint32_t& value) {
    value = 0;
    for (int i = 0; i < 4; ++i) {
        if (at >= n) return false;
        const uint8_t b = d[at++];
        value = (value << 7) | (b & 0x7F);
        if (!(b & 0x80)) return true;
    }
    return false;
}

Status Reader::keep(std::vector<TickEvent>& list, int64_t tick, uint32_t value) {
    if (messages_.size() + tempos_.size() >= Limits::kMaxEvents)
        return error("has more than " + std::to_string(Limits::kMaxEvents) + " events (the limit for MIDI files)");
    list.push_back({tick, order_++, value});
    return Status::success();
}

Status Reader::track(const uint8_t* d, size_t length, size_t fileOffset, int index) {
    size_t at = 0;
    int64_t tick = 0;
    uint8_t running = 0;  // running status; meta and sysex events cancel it
    auto damaged = [&](size_t where, const std::string& what) {
        return error("is damaged: track " + std::to_string(index) + " at byte " + std::to_string(fileOffset + where) +
                     ": " + what);
    };
    while (at < length) {
        const size_t start = at;
        uint32_t delta = 0;
        if (!readVarLen(d, length, at, delta)) return damaged(start, "bad delta time");
        tick += delta;  // at most 2^28 per event: 64 bits never overflow
        if (at >= length) return damaged(start, "event cut off");
        const uint8_t b = d[at];
        if (b == 0xFF || b == 0xF0 || b == 0xF7) {
            // Meta event (type byte, length, data), or a sysex packet or
            // escape (length, data): skipped but for tempo and End-of-Track.
            const bool meta = b == 0xFF;
            ++at;
            if (meta && at >= length) return damaged(start, "meta event cut off");
            const uint8_t type = meta ? d[at++] : 0;
            uint32_t size = 0;
            if (!readVarLen(d, length, at, size) || size > length - at)
                return damaged(start, meta ? "meta event longer than its track" : "sysex longer than its track");
            running = 0;
            if (meta && type == 0x51 && size >= 3) {
                const uint32_t tempo = uint32_t{d[at]} << 16 | uint32_t{d[at + 1]} << 8 | d[at + 2];
                if (tempo > 0)  // a tempo of 0 would stop the clock; such a change is ignored
                    if (Status st = keep(tempos_, tick, tempo); !st) return st;
            }
            at += size;
            if (meta && type == 0x2F) break;  // End-of-Track: what follows in the chunk is not read
            continue;
        }
        uint8_t status = running;
        if (b & 0x80) {
            if (b >= 0xF0) return damaged(at, "unexpected status byte " + hexByte(b));
            status = running = b;
            ++at;
        } else if (!status) {
            return damaged(at, "data byte without a status");
        }
        const size_t size = (status & 0xE0) == 0xC0 ? 1 : 2;  // program change, channel pressure: one byte
        if (length - at < size) return damaged(start, "message cut off");
        for (size_t i = 0; i < size; ++i)
            if (d[at + i] & 0x80) return damaged(at + i, "status byte " + hexByte(d[at + i]) + " inside a message");
        const uint8_t d1 = d[at], d2 = size == 2 ? d[at + 1] : 0;
        at += size;
        const uint8_t kind = status & 0xF0;
        const uint8_t channel = status & 0x0F;
        uint32_t message = 0;
        if (kind == 0x80)
            message = uint32_t{0x90u | channel} | uint32_t{d1} << 8;
        else if (kind == 0x90 || kind == 0xB0)
            message = uint32_t{status} | uint32_t{d1} << 8 | uint32_t{d2} << 16;
        else
            continue;
        if (Status st = keep(messages_, tick, message); !st) return st;
    }
    endTick_ = std::max(endTick_, tick);
    return Status::success();
}

// Ticks to seconds through the tempo map (PPQN) or the frame rate (SMPTE).
Status Reader::times(int32_t division, MidiSong& song) {
    std::sort(messages_.begin(), messages_.end());
    std::sort(tempos_.begin(), tempos_.end());
    const Status tooLong = error("is longer than " + std::to_string(Limits::kMaxSeconds / 3600) +
                                 " hours (the limit for MIDI files)");
    song.events.reserve(messages_.size());

    if (division & 0x8000) {
        const int fps = -static_cast<int8_t>(division >> 8);
        const int perFrame = division & 0xFF;
        // 29 stands for 30 drop-frame: 29.97 frames per second.
        const double perSecond = fps == 29 ? 30000.0 / 1001.0 * perFrame : double(fps) * perFrame;
        const auto limit = static_cast<int64_t>(perSecond * double(Limits::kMaxSeconds));
        if (endTick_ > limit) return tooLong;
        for (const TickEvent& e : messages_) song.events.push_back({double(e.tick) / perSecond, e.value});
        song.endSeconds = double(endTick_) / perSecond;
        return Status::success();
    }

    // Elapsed time in microseconds times the division: exact integers.
    const int64_t limit = Limits::kMaxSeconds * 1'000'000 * division;
    int64_t elapsed = 0, at = 0;
    uint32_t tempo = 500000;  // 120 beats per minute until the first change
    size_t next = 0;
    auto advance = [&](int64_t tick) {
        if (tick - at > (limit - elapsed) / tempo) return false;
        elapsed += (tick - at) * tempo;
        at = tick;
        return true;
    };
    auto secondsAt = [&](int64_t tick, double& seconds) {
        for (; next < tempos_.size() && tempos_[next].tick <= tick; ++next) {
            if (!advance(tempos_[next].tick)) return false;
            tempo = tempos_[next].value;
        }
        if (!advance(tick)) return false;
        seconds = double(elapsed) / (1e6 * division);
        return true;
    };
    for (const TickEvent& e : messages_) {
        double s = 0;
        if (!secondsAt(e.tick, s)) return tooLong;
        song.events.push_back({s, e.value});
    }
    if (!secondsAt(endTick_, song.endSeconds)) return tooLong;
    return Status::success();
}

Status Reader::parse(const uint8_t* d, size_t n, MidiSong& song) {
    if (n > Limits::kMaxBytes)
        return error("is larger than " + std::to_string(Limits::kMaxBytes >> 20) + " MB (the limit for MIDI files)");
    // An RMID file: the MIDI file is the RIFF file's "data" chunk.
    if (n >= 12 && std::memcmp(d, "RIFF", 4) == 0 && std::memcmp(d + 8, "RMID", 4) == 0) {
        size_t at = 12;
        for (;;) {
            if (n - at < 8) return error("is an RMID file without MIDI data");
            const uint32_t size = getLE32(d + at + 4);
            if (size > n - at - 8) return error("is truncated (RMID chunk at byte " + std::to_string(at) + ")");
            if (std::memcmp(d + at, "data", 4) == 0) {
                d += at + 8;
                n = size;
                break;
            }
            at += 8 + size;
            if ((size & 1) && at < n) ++at;  // RIFF chunks are padded to an even length
        }
    }
    // The header chunk's tag, length and fields and the next chunk's tag and
    // length; less than that is no MIDI file.
    if (n < 20) return Status::error(name_ + ": read beyond end of file (not a MIDI file)");
    if (std::memcmp(d, "MThd", 4) != 0) return error("is not a MIDI file");
    const uint32_t headerSize = getBE32(d + 4);
    if (headerSize < 6) return error("is damaged: a MIDI header of " + std::to_string(headerSize) + " bytes");
    if (headerSize > n - 8) return error("is truncated (in its header)");
    const int format = getBE16(d + 8);
    const int declared = getBE16(d + 10);
    const int32_t division = getBE16(d + 12);
    if (format == 2) return error("is a format 2 MIDI file (independent patterns), which cannot be rendered");
    if (format > 2) return error("has an unknown MIDI file format " + std::to_string(format));
    if (division & 0x8000) {
        const int fps = -static_cast<int8_t>(division >> 8);
        if (fps != 24 && fps != 25 && fps != 29 && fps != 30)
            return error("has an unknown SMPTE frame rate (" + std::to_string(fps) + " frames per second)");
        if ((division & 0xFF) == 0) return error("has a time division of 0 ticks per frame");
    } else if (division == 0) {
        return error("has a time division of 0 ticks per quarter note");
    }

    // Chunks of other kinds are skipped; bytes after the last declared track
    // are not read.
    size_t at = 8 + headerSize;
    int tracks = 0;
    while (tracks < declared && n - at >= 8) {
        const uint32_t size = getBE32(d + at + 4);
        const bool isTrack = std::memcmp(d + at, "MTrk", 4) == 0;
        if (size > n - at - 8)
            return error("is truncated: " +
                         (isTrack ? "track " + std::to_string(tracks + 1) : std::string("a chunk")) + " at byte " +
                         std::to_string(at) + " declares " + std::to_string(size) + " bytes, " +
                         std::to_string(n - at - 8) + " remain");
        if (isTrack)
            if (Status st = track(d + at + 8, size, at + 8, ++tracks); !st) return st;
        at += 8 + size;
    }
    if (tracks < declared)
        return error("is truncated: " + std::to_string(tracks) + " of " + std::to_string(declared) + " tracks present");
    if (Status st = times(division, song); !st) return st;
    if (std::none_of(song.events.begin(), song.events.end(), [](const MidiFileEvent& e) { return e.isNoteOn(); }))
        return error("holds no notes");
    return Status::success();
}

}  // namespace

Status parseMidiFile(const std::vector<uint8_t>& bytes, const std::string& name, MidiSong& song) {
    song = MidiSong{};
    Reader reader(name);
    Status st = reader.parse(bytes.data(), bytes.size(), song);
    if (!st) song = MidiSong{};
    return st;
}

Status parseMidiFile(const std::vector<uint8_t>& bytes, const std::string& name, std::vector<MidiFileEvent>& events) {
    MidiSong song;
    Status st = parseMidiFile(bytes, name, song);
    events = std::move(song.events);
    return st;
}

Status readMidiFile(const std::string& path, MidiSong& song) {
    song = MidiSong{};
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) return Status::error("Cannot read " + path + ": " + std::strerror(EISDIR));
    std::ifstream f(path, std::ios::binary);
    if (!f) return Status::error("Cannot open " + path + ": " + std::strerror(errno));
    // Read in pieces and refused as soon as it passes the limit, which is
    // there to bound memory too.
    std::vector<uint8_t> bytes;
    std::vector<char> piece(1 << 16);
    while (f.read(piece.data(), static_cast<std::streamsize>(piece.size())) || f.gcount() > 0) {
        bytes.insert(bytes.end(), piece.begin(), piece.begin() + f.gcount());
        if (bytes.size() > Limits::kMaxBytes)
            return Status::error(path + " is larger than " + std::to_string(Limits::kMaxBytes >> 20) +
                                 " MB (the limit for MIDI files)");
    }
    if (f.bad()) return Status::error("Cannot read " + path + ": " + std::strerror(errno ? errno : EIO));
    return parseMidiFile(bytes, path, song);
}

Status readMidiFile(const std::string& path, std::vector<MidiFileEvent>& events) {
    MidiSong song;
    Status st = readMidiFile(path, song);
    events = std::move(song.events);
    return st;
}

}  // namespace kf
