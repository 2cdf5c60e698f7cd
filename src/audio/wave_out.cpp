#include "audio/wave_out.h"

#include <alsa/asoundlib.h>

#include <RtAudio.h>

#include <algorithm>
#include <chrono>
#include <cstring>

namespace kf {

// ---------------------------------------------------------------- cursor

void SourceCursor::start(WaveSource source, bool loop) {
    source_ = source;
    loop_ = loop;
    finished_ = source.reader == nullptr || source.length <= 0;
    pos_ = 0;
}

void SourceCursor::clear() { start(WaveSource{}, false); }

void SourceCursor::fill(int16_t* dst, int32_t n) {
    while (n > 0) {
        if (finished_) {
            std::fill(dst, dst + n, int16_t{0});
            return;
        }
        int32_t m = std::min(n, source_.length - pos_);
        int32_t got = std::max(0, source_.reader->read(pos_, dst, m));
        // A sound that shrank while playing leaves a gap; play it as silence.
        std::fill(dst + got, dst + m, int16_t{0});
        dst += m;
        n -= m;
        pos_ += m;
        if (pos_ >= source_.length) {
            pos_ = 0;
            finished_ = !loop_;
        }
    }
}

Status WaveOut::play(WaveSource source, bool loop) {
    Status s = prepare(source, loop);
    if (!s) return s;
    return write();
}

namespace {

std::string shortName(std::string name) {
    if (name.size() > kDeviceNameMax) name.resize(kDeviceNameMax);
    return name;
}

Status badSource() {
    return Status::error("The buffer handed to the device holds no samples.", kWaveOutPrepareError);
}

}  // namespace

// --------------------------------------------------------------- RtAudio

namespace {

// RtAudio's error callback carries no user data; the text of the last error
// raised on this thread is kept here for the Status of the failing call.
thread_local std::string t_lastAudioError;

void recordAudioError(RtAudioError::Type type, const std::string& text) {
    if (type != RtAudioError::WARNING && type != RtAudioError::DEBUG_WARNING) t_lastAudioError = text;
}

// ALSA prints every failed configuration lookup on stderr (a machine without
// a card gives dozens); the failing step's Status already tells the user.
extern "C" void silentAlsaError(const char*, int, const char*, int, const char*, ...) {}

std::unique_ptr<RtAudio> makeRtAudio(const std::string& apiName, std::string& error) {
    static const bool quiet = [] {
        snd_lib_error_set_handler(&silentAlsaError);
        return true;
    }();
    (void)quiet;
    try {
        RtAudio::Api api = RtAudio::UNSPECIFIED;
        if (!apiName.empty()) {
            api = RtAudio::getCompiledApiByName(apiName);
            if (api == RtAudio::UNSPECIFIED) {
                error = "Audio interface \"" + apiName + "\" is not available.";
                return nullptr;
            }
        }
        auto audio = std::make_unique<RtAudio>(api);
        audio->showWarnings(false);
        return audio;
    } catch (const RtAudioError& e) {
        error = e.getMessage();
    } catch (const std::exception& e) {
        error = e.what();
    }
    return nullptr;
}

// Backend device ids of the listed devices (those that report outputs),
// in list order after item 0.
std::vector<unsigned> outputDevices(RtAudio& audio, std::vector<std::string>* names) {
    std::vector<unsigned> ids;
    unsigned count = audio.getDeviceCount();
    for (unsigned i = 0; i < count; ++i) {
        RtAudio::DeviceInfo info = audio.getDeviceInfo(i);
        if (!info.probed || info.outputChannels == 0) continue;  // failed queries are left out
        ids.push_back(i);
        if (names) names->push_back(shortName(info.name));
    }
    return ids;
}

}  // namespace

struct RtAudioWaveOut::Impl {
    std::unique_ptr<RtAudio> audio;
    std::mutex mutex;  // guards cursor and started against the device thread
    SourceCursor cursor;
    bool started = false;
    bool prepared = false;

    static int callback(void* out, void*, unsigned frames, double, RtAudioStreamStatus, void* user) {
        auto* self = static_cast<Impl*>(user);
        auto* dst = static_cast<int16_t*>(out);
        std::lock_guard<std::mutex> lock(self->mutex);
        if (self->started)
            self->cursor.fill(dst, static_cast<int32_t>(frames));
        else
            std::memset(dst, 0, frames * sizeof(int16_t));
        return 0;
    }
};

RtAudioWaveOut::RtAudioWaveOut(std::string apiName) : apiName_(std::move(apiName)) {}

RtAudioWaveOut::~RtAudioWaveOut() { close(); }

std::vector<std::string> RtAudioWaveOut::compiledApis() {
    std::vector<RtAudio::Api> apis;
    RtAudio::getCompiledApi(apis);
    std::vector<std::string> names;
    for (RtAudio::Api a : apis) names.push_back(RtAudio::getApiName(a));
    return names;
}

std::vector<std::string> RtAudioWaveOut::devices() {
    std::vector<std::string> names{"Default output"};
    std::string error;
    auto audio = makeRtAudio(apiName_, error);
    if (!audio) return names;
    try {
        outputDevices(*audio, &names);
    } catch (const std::exception&) {
        // Device-list failures are silent: the list keeps what it has.
    }
    return names;
}

Status RtAudioWaveOut::open(int deviceItem, int32_t sampleRate) {
    close();
    std::string error;
    auto audio = makeRtAudio(apiName_, error);
    if (!audio) return Status::error(error, kWaveOutOpenError);
    if (sampleRate <= 0) return Status::error("The sample rate is not supported.", kWaveOutOpenError);
    auto impl = std::make_unique<Impl>();
    t_lastAudioError.clear();
    try {
        RtAudio::StreamParameters params;
        params.nChannels = 1;
        RtAudio::StreamOptions options;
        options.streamName = "Kestrafon";
        options.numberOfBuffers = 4;
        if (deviceItem == 0) {
            params.deviceId = audio->getDefaultOutputDevice();
            if (audio->getCurrentApi() == RtAudio::LINUX_ALSA) options.flags |= RTAUDIO_ALSA_USE_DEFAULT;
        } else {
            std::vector<unsigned> ids = outputDevices(*audio, nullptr);
            if (deviceItem < 0 || static_cast<size_t>(deviceItem) > ids.size())
                return Status::error("The device identifier is out of range.", kWaveOutOpenError);
            params.deviceId = ids[static_cast<size_t>(deviceItem - 1)];
        }
        unsigned frames = bufferFrames_;
        audio->openStream(&params, nullptr, RTAUDIO_SINT16, static_cast<unsigned>(sampleRate), &frames,
                          &Impl::callback, impl.get(), &options, &recordAudioError);
    } catch (const RtAudioError& e) {
        return Status::error(e.getMessage(), kWaveOutOpenError);
    } catch (const std::exception& e) {
        return Status::error(e.what(), kWaveOutOpenError);
    }
    if (!audio->isStreamOpen())
        return Status::error(t_lastAudioError.empty() ? "The device could not be opened." : t_lastAudioError,
                             kWaveOutOpenError);
    impl->audio = std::move(audio);
    impl_ = std::move(impl);
    return Status::success();
}

Status RtAudioWaveOut::prepare(WaveSource source, bool loop) {
    if (!impl_) return Status::error("The device is not open.", kWaveOutPrepareError);
    if (source.reader == nullptr || source.length <= 0) return badSource();
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->cursor.start(source, loop);
    impl_->started = false;
    impl_->prepared = true;
    return Status::success();
}

Status RtAudioWaveOut::write() {
    if (!impl_ || !impl_->prepared) return Status::error("The buffer was not prepared.", kWaveOutWriteError);
    {
        std::lock_guard<std::mutex> lock(impl_->mutex);
        impl_->started = true;
    }
    t_lastAudioError.clear();
    try {
        if (!impl_->audio->isStreamRunning()) impl_->audio->startStream();
    } catch (const RtAudioError& e) {
        t_lastAudioError = e.getMessage();
    } catch (const std::exception& e) {
        t_lastAudioError = e.what();
    }
    if (!impl_->audio->isStreamRunning()) {
        std::lock_guard<std::mutex> lock(impl_->mutex);
        impl_->started = false;
        return Status::error(t_lastAudioError.empty() ? "The device did not start." : t_lastAudioError,
                             kWaveOutWriteError);
    }
    return Status::success();
}

void RtAudioWaveOut::stop() {
    if (!impl_) return;
    try {
        if (impl_->audio->isStreamRunning()) impl_->audio->abortStream();
    } catch (const std::exception&) {
    }
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->started = false;
    impl_->prepared = false;
    impl_->cursor.clear();
}

void RtAudioWaveOut::close() {
    if (!impl_) return;
    stop();
    try {
        if (impl_->audio->isStreamOpen()) impl_->audio->closeStream();
    } catch (const std::exception&) {
    }
    impl_.reset();
}

bool RtAudioWaveOut::isOpen() const { return impl_ != nullptr; }

// --------------------------------------------------------------- capture

CaptureWaveOut::CaptureWaveOut(std::vector<std::string> names) : names_(std::move(names)) {}

CaptureWaveOut::~CaptureWaveOut() { stopPacer(); }

std::vector<std::string> CaptureWaveOut::devices() {
    std::vector<std::string> list{"Default output"};
    for (const auto& n : names_) list.push_back(shortName(n));
    return list;
}

Status CaptureWaveOut::injected(Step step, const char* caption) {
    if (failStep_ != step) return Status::success();
    failStep_ = Step::None;
    return Status::error(failMessage_, caption);
}

Status CaptureWaveOut::open(int deviceItem, int32_t sampleRate) {
    close();
    std::lock_guard<std::mutex> lock(mutex_);
    if (Status s = injected(Step::Open, kWaveOutOpenError); !s) return s;
    if (deviceItem < 0 || static_cast<size_t>(deviceItem) > names_.size())
        return Status::error("The device identifier is out of range.", kWaveOutOpenError);
    if (sampleRate <= 0) return Status::error("The sample rate is not supported.", kWaveOutOpenError);
    open_ = true;
    item_ = deviceItem;
    rate_ = sampleRate;
    ++opens_;
    return Status::success();
}

Status CaptureWaveOut::prepare(WaveSource source, bool loop) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (Status s = injected(Step::Prepare, kWaveOutPrepareError); !s) return s;
    if (!open_) return Status::error("The device is not open.", kWaveOutPrepareError);
    if (source.reader == nullptr || source.length <= 0) return badSource();
    cursor_.start(source, loop);
    started_ = false;
    return Status::success();
}

Status CaptureWaveOut::write() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (Status s = injected(Step::Write, kWaveOutWriteError); !s) return s;
        if (!open_ || !cursor_.active()) return Status::error("The buffer was not prepared.", kWaveOutWriteError);
        started_ = true;
    }
    startPacer();
    return Status::success();
}

void CaptureWaveOut::stop() {
    stopPacer();
    std::lock_guard<std::mutex> lock(mutex_);
    started_ = false;
    cursor_.clear();
}

void CaptureWaveOut::close() {
    bool wasOpen;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        wasOpen = open_;
    }
    if (!wasOpen) return;
    stop();
    std::lock_guard<std::mutex> lock(mutex_);
    open_ = false;
    ++closes_;
}

bool CaptureWaveOut::isOpen() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return open_;
}

std::vector<int16_t> CaptureWaveOut::pull(int32_t n) {
    std::vector<int16_t> block(static_cast<size_t>(std::max(n, 0)), 0);
    std::lock_guard<std::mutex> lock(mutex_);
    if (started_) cursor_.fill(block.data(), n);
    captured_.insert(captured_.end(), block.begin(), block.end());
    return block;
}

std::vector<int16_t> CaptureWaveOut::captured() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return captured_;
}

void CaptureWaveOut::clearCaptured() {
    std::lock_guard<std::mutex> lock(mutex_);
    captured_.clear();
}

void CaptureWaveOut::setPaced(bool paced) {
    std::lock_guard<std::mutex> lock(mutex_);
    paced_ = paced;
}

void CaptureWaveOut::failNext(Step step, std::string message) {
    std::lock_guard<std::mutex> lock(mutex_);
    failStep_ = step;
    failMessage_ = std::move(message);
}

void CaptureWaveOut::startPacer() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!paced_ || pacer_.joinable()) return;
    pacerStop_ = false;
    int32_t rate = rate_;
    pacer_ = std::thread([this, rate] {
        using clock = std::chrono::steady_clock;
        const auto t0 = clock::now();
        int64_t consumed = 0;
        std::unique_lock<std::mutex> lock(mutex_);
        while (!pacerStop_) {
            wake_.wait_for(lock, std::chrono::milliseconds(5));
            if (pacerStop_) break;
            auto us = std::chrono::duration_cast<std::chrono::microseconds>(clock::now() - t0).count();
            int64_t due = us * rate / 1000000 - consumed;
            if (due <= 0) continue;
            lock.unlock();
            pull(static_cast<int32_t>(due));
            consumed += due;
            lock.lock();
        }
    });
}

void CaptureWaveOut::stopPacer() {
    std::thread t;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        pacerStop_ = true;
        t = std::move(pacer_);
    }
    wake_.notify_all();
    if (t.joinable()) t.join();
}

bool CaptureWaveOut::started() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return started_;
}
int32_t CaptureWaveOut::sampleRate() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return rate_;
}
int CaptureWaveOut::deviceItem() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return item_;
}
WaveSource CaptureWaveOut::source() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return cursor_.source();
}
bool CaptureWaveOut::looping() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return cursor_.loop();
}
int CaptureWaveOut::opens() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return opens_;
}
int CaptureWaveOut::closes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return closes_;
}

}  // namespace kf
