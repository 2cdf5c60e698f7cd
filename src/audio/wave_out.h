// The wave output device: one mono 16-bit PCM buffer played at a rate,
// looped indefinitely or once, stoppable at once. The buffer is read through
// a SampleSource on the device's own thread, so the sound can be replaced in
// place while it plays.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/play_buffer.h"
#include "engine/status.h"

namespace kf {

inline constexpr const char* kWaveOutOpenError = "WaveOutOpen error!";
inline constexpr const char* kWaveOutPrepareError = "WaveOutPrepareHeader error!";
inline constexpr const char* kWaveOutWriteError = "WaveOutWrite error!";

// Device names are cut to this many characters in the lists.
inline constexpr size_t kDeviceNameMax = 32;

// Where a device reads its samples. read() runs on the device's thread and
// must copy under the owner's lock; it returns how many samples exist at pos
// (the device plays silence for the rest).
class SampleSource {
public:
    virtual ~SampleSource() = default;
    virtual int32_t read(int32_t pos, int16_t* dst, int32_t n) const = 0;
};

// The rendered sound as a source; reads go through the PlayBuffer's lock.
class PlayBufferSource : public SampleSource {
public:
    explicit PlayBufferSource(const PlayBuffer& buffer) : buffer_(buffer) {}
    int32_t read(int32_t pos, int16_t* dst, int32_t n) const override { return buffer_.read(pos, dst, n); }

private:
    const PlayBuffer& buffer_;
};

// The one buffer handed to the device: `length` samples of `reader`.
struct WaveSource {
    const SampleSource* reader = nullptr;
    int32_t length = 0;
};

// Position of a device inside its buffer; fills device blocks. Past the end
// of a single play it gives silence.
class SourceCursor {
public:
    void start(WaveSource source, bool loop);
    void clear();
    void fill(int16_t* dst, int32_t n);
    bool active() const { return source_.reader != nullptr; }
    WaveSource source() const { return source_; }
    bool loop() const { return loop_; }

private:
    WaveSource source_;
    bool loop_ = false;
    bool finished_ = false;
    int32_t pos_ = 0;
};

// What the program needs of the platform's wave output. Failing steps return
// a Status whose caption names the step and whose message is the backend's
// own error text.
class WaveOut {
public:
    virtual ~WaveOut() = default;
    // Item 0 is the default device; item k is the k-th device of the backend.
    virtual std::vector<std::string> devices() = 0;
    // Opens mono 16-bit output at the rate. Caption kWaveOutOpenError.
    virtual Status open(int deviceItem, int32_t sampleRate) = 0;
    // Hands over the buffer. Caption kWaveOutPrepareError.
    virtual Status prepare(WaveSource source, bool loop) = 0;
    // Starts playing it. Caption kWaveOutWriteError.
    virtual Status write() = 0;
    // Stops at once and forgets the buffer; the device stays open.
    virtual void stop() = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    Status play(WaveSource source, bool loop);
};

// State both playback modes share: the one device and the playing flag.
// The flag is read by the real-time tick's thread.
struct OutputDevice {
    explicit OutputDevice(WaveOut& w) : wave(w) {}
    WaveOut& wave;
    std::atomic<bool> playing{false};
    std::atomic<int32_t> sampleRate{44100};  // the engine's rate in Hz
    std::atomic<int> deviceItem{0};          // selected wave-out list item
};

// RtAudio output (any compiled API). apiName "" lets RtAudio choose; else an
// RtAudio API name such as "alsa", "pulse" or "jack".
class RtAudioWaveOut : public WaveOut {
public:
    explicit RtAudioWaveOut(std::string apiName = {});
    ~RtAudioWaveOut() override;
    RtAudioWaveOut(const RtAudioWaveOut&) = delete;
    RtAudioWaveOut& operator=(const RtAudioWaveOut&) = delete;

    std::vector<std::string> devices() override;
    Status open(int deviceItem, int32_t sampleRate) override;
    Status prepare(WaveSource source, bool loop) override;
    Status write() override;
    void stop() override;
    void close() override;
    bool isOpen() const override;

    // Frames per device callback (set before open).
    void setBufferFrames(unsigned frames) { bufferFrames_ = frames; }
    static std::vector<std::string> compiledApis();

    struct Impl;

private:
    std::string apiName_;
    unsigned bufferFrames_ = 512;
    std::unique_ptr<Impl> impl_;
};

// A device without hardware that keeps every sample it is asked to play.
// The device side is driven by pull() (tests) or, when paced, by a thread
// of its own that consumes the buffer at the sample rate.
class CaptureWaveOut : public WaveOut {
public:
    enum class Step { None, Open, Prepare, Write };

    explicit CaptureWaveOut(std::vector<std::string> names = {"Capture device"});
    ~CaptureWaveOut() override;

    std::vector<std::string> devices() override;
    Status open(int deviceItem, int32_t sampleRate) override;
    Status prepare(WaveSource source, bool loop) override;
    Status write() override;
    void stop() override;
    void close() override;
    bool isOpen() const override;

    // The device consumes n samples (silence when nothing plays); they are
    // appended to captured() and returned.
    std::vector<int16_t> pull(int32_t n);
    std::vector<int16_t> captured() const;
    void clearCaptured();
    // Real-time consumption on an own thread while playing.
    void setPaced(bool paced);
    // The next call of this step fails with `message`.
    void failNext(Step step, std::string message = "simulated failure");

    bool started() const;
    int32_t sampleRate() const;
    int deviceItem() const;
    WaveSource source() const;
    bool looping() const;
    int opens() const;
    int closes() const;

private:
    Status injected(Step step, const char* caption);
    void startPacer();
    void stopPacer();

    std::vector<std::string> names_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    SourceCursor cursor_;
    std::vector<int16_t> captured_;
    bool open_ = false, started_ = false, paced_ = false, pacerStop_ = false;
    int32_t rate_ = 0;
    int item_ = -1;
    int opens_ = 0, closes_ = 0;
    Step failStep_ = Step::None;
    std::string failMessage_;
    std::thread pacer_;
};

}  // namespace kf
