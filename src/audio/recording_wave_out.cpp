#include "audio/recording_wave_out.h"

#include <algorithm>

namespace kf {

Status RecordingWaveOut::prepare(WaveSource source, bool loop) {
    // The device is stopped here (prepare follows open), so the tap can be
    // re-pointed without racing its reads.
    tap_.inner = source.reader;
    return inner_.prepare(WaveSource{source.reader ? &tap_ : nullptr, source.length}, loop);
}

int32_t RecordingWaveOut::Tap::read(int32_t pos, int16_t* dst, int32_t n) const {
    const int32_t got = inner ? std::clamp(inner->read(pos, dst, n), 0, n) : 0;
    std::lock_guard<std::mutex> lock(owner_.mutex_);
    owner_.recorded_.insert(owner_.recorded_.end(), dst, dst + got);
    owner_.recorded_.insert(owner_.recorded_.end(), static_cast<size_t>(n - got), int16_t{0});
    return got;
}

std::vector<int16_t> RecordingWaveOut::take() {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::move(recorded_);
}

}  // namespace kf
