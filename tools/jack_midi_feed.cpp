// kf-jack-midi-feed SONG.mid TARGET_PORT SECONDS: plays a MIDI file (looped)
// into a JACK MIDI port from a client of its own, sample-accurately, and
// counts the server's xruns meanwhile. Prints "xruns N" at the end. For the
// live stream's measurement (tools/jack_live_measure.sh).
#include <jack/jack.h>
#include <jack/midiport.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "files/midi_file.h"

namespace {

struct Feed {
    jack_port_t* port = nullptr;
    std::vector<std::pair<int64_t, uint32_t>> events;  // frame, message
    int64_t loop = 1;                                  // frames per pass
    int64_t frame = 0;
    size_t next = 0;
    std::atomic<int> xruns{0};
};

int process(jack_nframes_t n, void* arg) {
    auto* f = static_cast<Feed*>(arg);
    void* buf = jack_port_get_buffer(f->port, n);
    jack_midi_clear_buffer(buf);
    const int64_t end = f->frame + n;
    while (!f->events.empty()) {
        if (f->next == f->events.size()) {  // the song again, one pass later
            f->next = 0;
            for (auto& e : f->events) e.first += f->loop;
        }
        const auto& [at, m] = f->events[f->next];
        if (at >= end) break;
        const jack_midi_data_t bytes[3] = {static_cast<jack_midi_data_t>(m), static_cast<jack_midi_data_t>(m >> 8),
                                           static_cast<jack_midi_data_t>(m >> 16)};
        jack_midi_event_write(buf, static_cast<jack_nframes_t>(std::max<int64_t>(at - f->frame, 0)), bytes, 3);
        ++f->next;
    }
    f->frame = end;
    return 0;
}

int xrun(void* arg) {
    ++static_cast<Feed*>(arg)->xruns;
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: kf-jack-midi-feed SONG.mid TARGET_PORT SECONDS\n");
        return 2;
    }
    kf::MidiSong song;
    std::vector<uint8_t> bytes;
    if (FILE* in = std::fopen(argv[1], "rb")) {
        for (int c; (c = std::fgetc(in)) != EOF;) bytes.push_back(static_cast<uint8_t>(c));
        std::fclose(in);
    }
    if (kf::Status st = kf::parseMidiFile(bytes, argv[1], song); !st) {
        std::fprintf(stderr, "kf-jack-midi-feed: %s\n", st.message.c_str());
        return 1;
    }
    jack_client_t* client = jack_client_open("kf-midi-feed", JackNoStartServer, nullptr);
    if (!client) {
        std::fprintf(stderr, "kf-jack-midi-feed: no JACK server\n");
        return 1;
    }
    Feed f;
    const double rate = jack_get_sample_rate(client);
    for (const auto& e : song.events) f.events.emplace_back(static_cast<int64_t>(e.seconds * rate + 0.5), e.message);
    f.loop = std::max<int64_t>(1, static_cast<int64_t>((song.endSeconds + 0.5) * rate));
    f.port = jack_port_register(client, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    jack_set_process_callback(client, process, &f);
    jack_set_xrun_callback(client, xrun, &f);
    if (!f.port || jack_activate(client) != 0 || jack_connect(client, jack_port_name(f.port), argv[2]) != 0) {
        std::fprintf(stderr, "kf-jack-midi-feed: cannot connect to %s\n", argv[2]);
        jack_client_close(client);
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::duration<double>(std::stod(argv[3])));
    jack_deactivate(client);
    jack_client_close(client);
    std::printf("xruns %d\n", f.xruns.load());
    return 0;
}
